// The part of every QBL31x library that does not depend on its transport:
// the table of open links, argument checks, answer mapping and error texts.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "drivers/Transport.h"

namespace qm90drivers {

inline constexpr std::int32_t kLibraryVersion = 0x0100;

// Baud-rate index 0..8 of a rate, -1 for a rate the module does not know.
int BaudIndexOf(std::int32_t baud);

class Library {
 public:
  // kind 0..4 gives this library's handles a range of their own, so that a
  // handle of another library is never taken for one of ours.
  explicit Library(int kind);
  ~Library();  // closes every link still open (library unloaded)
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Stores a new handle for a link that `open_result` == kOk opened; on any
  // other result returns it and leaves *handle alone.
  std::int32_t Register(std::int32_t* handle, std::int32_t open_result, const OpenedLink& link);
  std::int32_t SetConfig(std::int32_t handle, std::int32_t baud, std::int32_t timing,
                         std::int32_t mode);
  std::int32_t GetConfig(std::int32_t handle, std::int32_t* baud, std::int32_t* timing);
  std::int32_t Send(std::int32_t handle, const std::int32_t* request, std::int32_t* answer,
                    std::int32_t* returned, std::int32_t* status);
  std::int32_t Done(std::int32_t* handle);
  static std::int32_t Error(std::int32_t code, std::int32_t* text);

 private:
  struct Link;
  std::shared_ptr<Link> Find(std::int32_t handle);
  std::int32_t NextHandle();

  std::mutex mutex_;
  std::map<std::int32_t, std::shared_ptr<Link>> links_;
  std::int32_t first_handle_;
  std::int32_t last_handle_;
};

}  // namespace qm90drivers
