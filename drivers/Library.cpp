#include "drivers/Library.h"

#include <algorithm>
#include <chrono>

#include "base/Baud.h"
#include "base/DriverEntries.h"
#include "drivers/Codes.h"

namespace qm90drivers {
namespace {

constexpr std::size_t kMaxLinks = 64;
constexpr std::int32_t kHandleSpan = 0x00FFFFFF;
constexpr std::int32_t kMinTiming = 1;
constexpr std::int32_t kMaxTiming = 1000;
constexpr int kRequestSlots = 8;  // address, command, sub-code, d0..d4
constexpr int kAnswerSlots = 4;   // d1..d4; d0 goes through `returned`

std::int32_t RefusalCode(std::uint8_t status) {
  switch (status) {
    case qm90::kAnswerUnknownRegister:
      return kRegisterRefused;
    case qm90::kAnswerBadValue:
      return kValueRefused;
    case qm90::kAnswerNotStored:
      return kEepromSaveFailed;
    default:
      return kCommandRefused;
  }
}

bool ReadRequest(const std::int32_t* slots, qm90::Request& out) {
  std::uint8_t bytes[kRequestSlots];
  for (int i = 0; i < kRequestSlots; ++i) {
    if (slots[i] < 0 || slots[i] > 255) return false;
    bytes[i] = static_cast<std::uint8_t>(slots[i]);
  }
  out.address = bytes[0];
  out.command = bytes[1];
  out.subcode = bytes[2];
  for (int i = 0; i < 5; ++i) out.d[i] = bytes[3 + i];
  return true;
}

// How long the request asks to listen for a second answer.
Micros ListenTime(const std::int32_t* slots) {
  const std::int32_t ms = slots[QBL_REQUEST_LISTEN_SLOT];
  return std::chrono::milliseconds(ms > 0 ? std::min(ms, QBL_LISTEN_MOST_MS) : 0);
}

}  // namespace

int BaudIndexOf(std::int32_t baud) {
  return base::BaudIndexOf(baud);
}

struct Library::Link {
  explicit Link(const OpenedLink& opened) : opened(opened) {}
  ~Link() { opened.transport->close(opened.context); }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  OpenedLink opened;
  LinkSettings settings;
  std::mutex mutex;  // one exchange at a time on a link
};

// The count starts at a point of its own each time the library is loaded, so a
// handle kept from before an unload does not name a link of the next load.
Library::Library(int kind) : first_handle_((kind % 5 + 1) << 24), last_handle_(first_handle_) {
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  last_handle_ += static_cast<std::int32_t>(static_cast<std::uint64_t>(ticks) % kHandleSpan);
}

Library::~Library() = default;

std::shared_ptr<Library::Link> Library::Find(std::int32_t handle) {
  std::lock_guard lock(mutex_);
  const auto it = links_.find(handle);
  return it == links_.end() ? nullptr : it->second;
}

// Handles count up through this library's range, so a closed handle is not
// handed out again until some sixteen million links later.
std::int32_t Library::NextHandle() {
  std::int32_t candidate = last_handle_;
  do {
    candidate = candidate >= first_handle_ + kHandleSpan ? first_handle_ + 1 : candidate + 1;
  } while (links_.count(candidate) != 0);
  last_handle_ = candidate;
  return candidate;
}

std::int32_t Library::Register(std::int32_t* handle, std::int32_t open_result,
                               const OpenedLink& opened) {
  if (open_result != kOk) return open_result;
  auto link = std::make_shared<Link>(opened);
  if (handle == nullptr) return kInvalidParameter;  // `link` closes the port again
  std::lock_guard lock(mutex_);
  if (links_.size() >= kMaxLinks) return kTooManyLinks;
  const std::int32_t id = NextHandle();
  links_.emplace(id, std::move(link));
  *handle = id;
  return kOk;
}

std::int32_t Library::SetConfig(std::int32_t handle, std::int32_t baud, std::int32_t timing,
                                std::int32_t /*mode: accepted, has no effect*/) {
  const auto link = Find(handle);
  if (!link) return kInvalidHandle;
  const int index = BaudIndexOf(baud);
  if (index < 0) return kUnsupportedBaud;
  if (timing < kMinTiming || timing > kMaxTiming) return kInvalidParameter;
  LinkSettings settings{baud, static_cast<std::uint8_t>(index), timing};
  std::lock_guard lock(link->mutex);
  const std::int32_t code = link->opened.transport->configure(link->opened.context, settings);
  if (code == kOk) link->settings = settings;
  return code;
}

std::int32_t Library::GetConfig(std::int32_t handle, std::int32_t* baud, std::int32_t* timing) {
  const auto link = Find(handle);
  if (!link) return kInvalidHandle;
  std::lock_guard lock(link->mutex);
  if (baud != nullptr) *baud = link->settings.baud;
  if (timing != nullptr) *timing = link->settings.timing;
  return kOk;
}

std::int32_t Library::Send(std::int32_t handle, const std::int32_t* request, std::int32_t* answer,
                           std::int32_t* returned, std::int32_t* status) {
  std::int32_t code = kInvalidParameter;
  std::int32_t counted = 0;  // answers to the request, when the transport counts them
  qm90::Answer reply;
  if (request != nullptr && answer != nullptr && returned != nullptr) {
    qm90::Request frame;
    const auto link = Find(handle);
    if (!link) {
      code = kInvalidHandle;
    } else if (ReadRequest(request, frame)) {
      std::lock_guard lock(link->mutex);
      code = link->opened.transport->exchange(link->opened.context, frame, reply);
      if (code == kOk && link->opened.transport->answers)
        counted = link->opened.transport->answers(link->opened.context, ListenTime(request));
      if (code == kOk && reply.status != qm90::kAnswerOk) code = RefusalCode(reply.status);
    }
  }
  if (answer != nullptr) {
    for (int i = 0; i < kAnswerSlots; ++i) answer[i] = code == kOk ? reply.d[1 + i] : 0;
    if (counted > 0) answer[QBL_ANSWER_COUNT_SLOT] = counted;
  }
  if (returned != nullptr) *returned = code == kOk ? reply.d[0] : 0;
  if (status != nullptr) *status = code;
  return code;
}

std::int32_t Library::Done(std::int32_t* handle) {
  if (handle == nullptr) return kInvalidParameter;
  std::shared_ptr<Link> link;
  {
    std::lock_guard lock(mutex_);
    const auto it = links_.find(*handle);
    if (it == links_.end()) return kInvalidHandle;
    link = std::move(it->second);
    links_.erase(it);
  }
  *handle = 0;
  return kOk;  // the port closes when the last exchange using `link` ends
}

std::int32_t Library::Error(std::int32_t code, std::int32_t* text) {
  if (text == nullptr) return kInvalidParameter;
  TextToSlots(CodeText(code), text);
  return kOk;
}

}  // namespace qm90drivers
