#include "drvhost/Serve.h"

#include <string>
#include <vector>

#include "drvhost/HostIo.h"
#include "link/BoundEntries.h"
#include "link/HostProtocol.h"
#include "link/InterfaceKinds.h"
#include "link/Platform.h"

namespace qm90drvhost {
namespace {

using namespace qm90link;
using hostproto::Reader;
using hostproto::Writer;

constexpr std::int32_t kNotBound = 10;  // a call before the library is loaded

struct Library {
  platform::LibraryHandle handle = nullptr;
  void* entries[kEntryCount] = {};
};
Library library;

template <typename Fn>
Fn Entry(EntryIndex index) {
  return reinterpret_cast<Fn>(library.entries[index]);
}

void Load(Reader& in, Writer& out) {
  const std::uint8_t kind = in.U8();
  const std::string path = in.Text();
  if (!in.Done()) return;
  if (library.handle != nullptr || !IsInterfaceKind(kind)) {
    out.I32(hostproto::kCannotLoad).Text("library already loaded or kind out of range");
    return;
  }
  library.handle = platform::LoadLibraryFile(path);
  if (library.handle == nullptr) {
    out.I32(hostproto::kCannotLoad).Text(platform::LastLoaderError());
    return;
  }
  for (int i = 0; i < kEntryCount; ++i) {
    const std::string name =
        std::string(FindInterfaceKind(kind)->library_base) + "_" + kEntryWords[i];
    library.entries[i] = platform::FindSymbol(library.handle, name.c_str());
    if (library.entries[i] == nullptr) {
      platform::UnloadLibrary(library.handle);
      library = Library{};
      out.I32(hostproto::kEntryMissing).Text(name);
      return;
    }
  }
  out.I32(hostproto::kLoaded).Text("");
}

void Init(Reader& in, Writer& out) {
  const auto shape = static_cast<InitShape>(in.U8());
  const std::uint8_t nulls = in.U8();
  std::int32_t handle = in.I32();
  const std::int32_t param = in.I32();
  std::uint8_t block_nulls = 0;
  std::string ip;
  std::intptr_t block[kBlockSlots] = {};
  if (shape == InitShape::kBlock) {
    block_nulls = in.U8();
    ip = in.Text();
    for (int i = 1; i < kBlockSlots; ++i) block[i] = static_cast<std::intptr_t>(in.I64());
    if (block_nulls == 0) block[0] = reinterpret_cast<std::intptr_t>(ip.c_str());
  }
  if (!in.Done()) return;
  std::int32_t* handle_arg = (nulls & hostproto::kNullHandle) ? nullptr : &handle;
  std::int32_t result = kNotBound;
  if (library.entries[kInit] != nullptr) {
    switch (shape) {
      case InitShape::kParam:
        result = Entry<InitParamFn>(kInit)(handle_arg, param);
        break;
      case InitShape::kBlock:
        result = Entry<InitBlockFn>(kInit)(handle_arg, block_nulls == 2 ? nullptr : block);
        break;
      default:
        result = Entry<InitPlainFn>(kInit)(handle_arg);
        break;
    }
  }
  out.I32(result).I32(handle);
}

void SetConfig(Reader& in, Writer& out) {
  const std::int32_t handle = in.I32();
  const std::int32_t baud = in.I32();
  const std::int32_t timing = in.I32();
  const std::int32_t mode = in.I32();
  if (!in.Done()) return;
  const std::int32_t result = library.entries[kSetConfig] != nullptr
                                  ? Entry<SetConfigFn>(kSetConfig)(handle, baud, timing, mode)
                                  : kNotBound;
  out.I32(result);
}

void Send(Reader& in, Writer& out) {
  const std::int32_t handle = in.I32();
  const std::uint8_t nulls = in.U8();
  std::int32_t request[kSlots];
  std::int32_t answer[kSlots];
  in.Slots(request, kSlots);
  in.Slots(answer, kSlots);
  std::int32_t returned = in.I32();
  std::int32_t status = in.I32();
  if (!in.Done()) return;
  std::int32_t result = kNotBound;
  if (library.entries[kSend] != nullptr) {
    result = Entry<SendFn>(kSend)(handle, (nulls & hostproto::kNullRequest) ? nullptr : request,
                                  (nulls & hostproto::kNullAnswer) ? nullptr : answer,
                                  (nulls & hostproto::kNullReturned) ? nullptr : &returned,
                                  (nulls & hostproto::kNullStatus) ? nullptr : &status);
  }
  out.I32(result).Slots(answer, kSlots).I32(returned).I32(status);
}

void Done(Reader& in, Writer& out) {
  const std::uint8_t nulls = in.U8();
  std::int32_t handle = in.I32();
  if (!in.Done()) return;
  const std::int32_t result =
      library.entries[kDone] != nullptr
          ? Entry<DoneFn>(kDone)((nulls & hostproto::kNullHandle) ? nullptr : &handle)
          : kNotBound;
  out.I32(result).I32(handle);
}

void Error(Reader& in, Writer& out) {
  const std::int32_t code = in.I32();
  const std::uint8_t nulls = in.U8();
  std::int32_t text[kSlots];
  in.Slots(text, kSlots);
  if (!in.Done()) return;
  const std::int32_t result =
      library.entries[kError] != nullptr
          ? Entry<ErrorFn>(kError)(code, (nulls & hostproto::kNullText) ? nullptr : text)
          : kNotBound;
  out.I32(result).Slots(text, kSlots);
}

// Handles one request; false when it was malformed.
bool Answer(const std::vector<std::uint8_t>& request, std::vector<std::uint8_t>& answer) {
  Reader in(request.data(), request.size());
  const std::uint8_t call = in.U8();
  Writer out;
  out.U8(call);
  switch (call) {
    case hostproto::kLoad:
      Load(in, out);
      break;
    case hostproto::kInit:
      Init(in, out);
      break;
    case hostproto::kSetConfig:
      SetConfig(in, out);
      break;
    case hostproto::kSend:
      Send(in, out);
      break;
    case hostproto::kDone:
      Done(in, out);
      break;
    case hostproto::kError:
      Error(in, out);
      break;
    default:
      return false;
  }
  if (!in.Done()) return false;
  answer = out.Message();
  return true;
}

}  // namespace

int Serve() {
  if (!TakePipes()) return 2;
  std::vector<std::uint8_t> request;
  std::vector<std::uint8_t> answer;
  int status = 0;
  for (;;) {
    std::uint8_t length_bytes[hostproto::kLengthSize];
    if (!ReadExactly(length_bytes, sizeof length_bytes)) break;  // the binding is done
    std::size_t length = 0;
    if (!hostproto::ParseLength(length_bytes, length) || length == 0) {
      status = 2;
      break;
    }
    request.resize(length);
    if (!ReadExactly(request.data(), length)) break;
    if (!Answer(request, answer)) {
      status = 2;
      break;
    }
    if (!WriteAll(answer.data(), answer.size())) break;
  }
  if (library.handle != nullptr) platform::UnloadLibrary(library.handle);
  return status;
}

}  // namespace qm90drvhost
