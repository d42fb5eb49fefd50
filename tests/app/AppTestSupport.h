// Shared by the window tests of the program: a private settings file and
// driver folder per test, closing the link a test opened. Controls, modal
// dialogs and the temporary folder come from tests/support/UiTest.h.
#pragma once

#include "link/Dekl.h"
#include "link/QBLxxx.h"
#include "tests/support/UiTest.h"

namespace apptest {

using qm90test::Find;
using qm90test::OnNextModal;
using qm90test::TempFolder;
using qm90test::TextOf;

// Leaves no library bound behind a test.
inline void CloseLink(TData& data) {
  if (data.LinkOpen && data.LinkHandle != 0) DrvClose(data.InterfaceKind, &data.LinkHandle);
  data.LinkOpen = false;
}

}  // namespace apptest
