// qm90-drvhost's work: load one driver library when asked, then answer each
// request of the binding by calling the library's entry. Returns the exit
// status: 0 when the input ended, 2 on a malformed request.
#pragma once

namespace qm90drvhost {

int Serve();

}  // namespace qm90drvhost
