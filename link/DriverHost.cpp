#include "link/DriverHost.h"

#include <chrono>
#include <cstring>
#include <vector>

#include "link/BoundEntries.h"
#include "link/ChildProcess.h"
#include "link/HostProtocol.h"
#include "link/InterfaceKinds.h"
#include "link/Platform.h"
#include "link/QBLxxx.h"

namespace qm90link::hostbinding {
namespace {

using namespace qm90link;
using hostproto::Reader;
using hostproto::Writer;

// A call that gets no answer within this bound counts as hung. Over UDP a
// Send may legitimately take the library's own time-out, which comes on top.
constexpr std::chrono::milliseconds kCallBound{10000};
// After Done the host leaves as soon as its input ends; this long it may take.
constexpr std::chrono::milliseconds kExitGrace{2000};

struct Host {
  platform::Child* child = nullptr;
  bool bound = false;
  std::int32_t failure = 0;  // code of a failed host: every later call returns it
  std::chrono::milliseconds call_bound = kCallBound;
};
Host host;

// The host is gone or no longer to be trusted: it is ended at once (and
// waited for), and every later call gets the code until the next DrvOpen.
std::int32_t Fail(std::int32_t code) {
  platform::EndChild(host.child, std::chrono::milliseconds(0));
  host.child = nullptr;
  host.failure = code;
  return code;
}

std::int32_t FailureOf(platform::PipeResult result) {
  return result == platform::PipeResult::kTimedOut ? kDrvHostHung : kDrvHostEnded;
}

// One request and its answer; `answer` holds the answer's bytes after the
// echoed call number. Returns 0 or the host failure's code.
std::int32_t Exchange(const Writer& request, std::vector<std::uint8_t>& answer) {
  if (host.child == nullptr) return host.failure != 0 ? host.failure : kDrvNotBound;
  const auto deadline = std::chrono::steady_clock::now() + host.call_bound;
  const std::vector<std::uint8_t> message = request.Message();
  auto result = platform::WriteToChild(host.child, message.data(), message.size(), deadline);
  if (result != platform::PipeResult::kOk) return Fail(FailureOf(result));
  std::uint8_t length_bytes[hostproto::kLengthSize];
  result = platform::ReadFromChild(host.child, length_bytes, sizeof length_bytes, deadline);
  if (result != platform::PipeResult::kOk) return Fail(FailureOf(result));
  std::size_t length = 0;
  if (!hostproto::ParseLength(length_bytes, length) || length == 0) return Fail(kDrvHostGarbled);
  answer.resize(length);
  result = platform::ReadFromChild(host.child, answer.data(), length, deadline);
  if (result != platform::PipeResult::kOk) return Fail(FailureOf(result));
  if (answer[0] != message[hostproto::kLengthSize]) return Fail(kDrvHostGarbled);
  return 0;
}

// Checks that the answer was read to its end; a malformed one ends the host.
std::int32_t Checked(const Reader& reader, std::int32_t result) {
  return reader.Done() ? result : Fail(kDrvHostGarbled);
}

Reader AnswerReader(const std::vector<std::uint8_t>& answer) {
  Reader reader(answer.data(), answer.size());
  reader.U8();  // the echoed call number, checked by Exchange
  return reader;
}

std::int32_t CallInit(InitShape shape, std::int32_t* handle, std::int32_t param,
                      const std::intptr_t* block) {
  Writer request;
  request.U8(hostproto::kInit).U8(static_cast<std::uint8_t>(shape));
  request.U8(handle == nullptr ? hostproto::kNullHandle : 0).I32(handle ? *handle : 0).I32(param);
  if (shape == InitShape::kBlock) {
    // The IP text goes by value; the block's other slots as they are.
    const char* ip = block ? reinterpret_cast<const char*>(block[0]) : nullptr;
    std::string text;
    for (int i = 0; ip != nullptr && i < kLongestIpText && ip[i] != '\0'; ++i) text += ip[i];
    request.U8(block == nullptr ? 2 : ip == nullptr ? 1 : 0).Text(text);
    for (int i = 1; i < kBlockSlots; ++i) request.I64(block ? block[i] : 0);
  }
  std::vector<std::uint8_t> answer;
  if (const std::int32_t code = Exchange(request, answer)) return code;
  Reader reader = AnswerReader(answer);
  const std::int32_t result = reader.I32();
  const std::int32_t new_handle = reader.I32();
  if (!reader.Done()) return Fail(kDrvHostGarbled);
  if (handle != nullptr) *handle = new_handle;
  return result;
}

std::int32_t QBL_CALL InitParam(std::int32_t* handle, std::int32_t param) {
  return CallInit(InitShape::kParam, handle, param, nullptr);
}

std::int32_t QBL_CALL InitPlain(std::int32_t* handle) {
  return CallInit(InitShape::kPlain, handle, 0, nullptr);
}

std::int32_t QBL_CALL InitBlock(std::int32_t* handle, const std::intptr_t* block) {
  // A Send may wait as long as the UDP time-out of the block.
  const std::intptr_t udp_ms = block ? block[2] : 0;
  host.call_bound =
      kCallBound + std::chrono::milliseconds(udp_ms > 0 && udp_ms <= 65535 ? udp_ms : 0);
  return CallInit(InitShape::kBlock, handle, 0, block);
}

std::int32_t QBL_CALL SetConfig(std::int32_t handle, std::int32_t baud, std::int32_t timing,
                                std::int32_t mode) {
  Writer request;
  request.U8(hostproto::kSetConfig).I32(handle).I32(baud).I32(timing).I32(mode);
  std::vector<std::uint8_t> answer;
  if (const std::int32_t code = Exchange(request, answer)) return code;
  Reader reader = AnswerReader(answer);
  const std::int32_t result = reader.I32();
  return Checked(reader, result);
}

std::int32_t QBL_CALL Send(std::int32_t handle, std::int32_t* request_slots,
                           std::int32_t* answer_slots, std::int32_t* returned,
                           std::int32_t* status) {
  const auto nulls = static_cast<std::uint8_t>(
      (request_slots ? 0 : hostproto::kNullRequest) | (answer_slots ? 0 : hostproto::kNullAnswer) |
      (returned ? 0 : hostproto::kNullReturned) | (status ? 0 : hostproto::kNullStatus));
  Writer request;
  request.U8(hostproto::kSend).I32(handle).U8(nulls);
  request.Slots(request_slots, kSlots).Slots(answer_slots, kSlots);
  request.I32(returned ? *returned : 0).I32(status ? *status : 0);
  std::vector<std::uint8_t> answer;
  if (const std::int32_t code = Exchange(request, answer)) return code;
  Reader reader = AnswerReader(answer);
  const std::int32_t result = reader.I32();
  std::int32_t slots[kSlots];
  reader.Slots(slots, kSlots);
  const std::int32_t new_returned = reader.I32();
  const std::int32_t new_status = reader.I32();
  if (!reader.Done()) return Fail(kDrvHostGarbled);
  if (answer_slots) std::memcpy(answer_slots, slots, sizeof slots);
  if (returned) *returned = new_returned;
  if (status) *status = new_status;
  return result;
}

std::int32_t QBL_CALL Done(std::int32_t* handle) {
  Writer request;
  request.U8(hostproto::kDone).U8(handle ? 0 : hostproto::kNullHandle).I32(handle ? *handle : 0);
  std::vector<std::uint8_t> answer;
  if (const std::int32_t code = Exchange(request, answer)) return code;
  Reader reader = AnswerReader(answer);
  const std::int32_t result = reader.I32();
  const std::int32_t new_handle = reader.I32();
  if (!reader.Done()) return Fail(kDrvHostGarbled);
  if (handle) *handle = new_handle;
  return result;
}

std::int32_t QBL_CALL Error(std::int32_t code, std::int32_t* text) {
  Writer request;
  request.U8(hostproto::kError).I32(code).U8(text ? 0 : hostproto::kNullText).Slots(text, kSlots);
  std::vector<std::uint8_t> answer;
  if (const std::int32_t failure = Exchange(request, answer)) return failure;
  Reader reader = AnswerReader(answer);
  const std::int32_t result = reader.I32();
  std::int32_t slots[kSlots];
  reader.Slots(slots, kSlots);
  if (!reader.Done()) return Fail(kDrvHostGarbled);
  if (text) std::memcpy(text, slots, sizeof slots);
  return result;
}

// Version and GetConfig are never called; they only have to be there.
std::int32_t QBL_CALL NeverCalled() {
  return 0;
}

void* InitStandIn(std::uint8_t kind) {
  switch (InitShapeOf(kind)) {
    case InitShape::kParam:
      return reinterpret_cast<void*>(&InitParam);
    case InitShape::kBlock:
      return reinterpret_cast<void*>(&InitBlock);
    default:
      return reinterpret_cast<void*>(&InitPlain);
  }
}

}  // namespace

std::int32_t Bind(std::uint8_t kind, const std::string& host_dir, const std::string& library,
                  bool other_word_size, void* entries[7]) {
  Release();
  host.child = platform::StartChild(
      platform::JoinPath(host_dir, platform::DriverHostFileName(other_word_size)));
  if (host.child == nullptr) return kDrvLoadFailed + kind;
  host.call_bound = kCallBound;
  Writer request;
  request.U8(hostproto::kLoad).U8(kind).Text(library);
  std::vector<std::uint8_t> answer;
  if (Exchange(request, answer) != 0) {
    Release();
    return kDrvLoadFailed + kind;
  }
  Reader reader = AnswerReader(answer);
  const std::int32_t outcome = reader.I32();
  reader.Text();  // the loader's message or the missing entry's name
  if (!reader.Done() || outcome != hostproto::kLoaded) {
    Release();
    return outcome == hostproto::kEntryMissing ? kDrvBadLibrary + kind : kDrvLoadFailed + kind;
  }
  host.bound = true;
  entries[kVersion] = reinterpret_cast<void*>(&NeverCalled);
  entries[kInit] = InitStandIn(kind);
  entries[kSetConfig] = reinterpret_cast<void*>(&SetConfig);
  entries[kGetConfig] = reinterpret_cast<void*>(&NeverCalled);
  entries[kSend] = reinterpret_cast<void*>(&Send);
  entries[kDone] = reinterpret_cast<void*>(&Done);
  entries[kError] = reinterpret_cast<void*>(&Error);
  return 0;
}

void Release() {
  if (host.child != nullptr) platform::EndChild(host.child, kExitGrace);
  host = Host{};
}

bool Bound() {
  return host.bound;
}

bool Failed() {
  return host.failure != 0;
}

}  // namespace qm90link::hostbinding
