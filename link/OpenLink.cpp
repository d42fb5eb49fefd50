#include "link/OpenLink.h"

#include "link/Commands.h"
#include "link/InterfaceKinds.h"
#include "link/QBLxxx.h"

namespace {

inline constexpr const char* kConnectionOk = "V pořádku";

void CloseAfterFailure(TData& data, std::uint8_t kind, std::int32_t& handle, TOpenResult& result) {
  result.text = ErrorText(kind, result.code);
  DrvClose(kind, &handle);
  data.LinkHandle = handle;
  data.LinkOpen = false;
}

}  // namespace

std::int32_t CloseLink(TData& data) {
  std::int32_t handle = data.LinkHandle;
  if (!data.LinkOpen || handle == 0) return 0;
  const std::int32_t result = DrvClose(data.InterfaceKind, &handle);
  data.LinkHandle = handle;
  data.LinkOpen = false;
  return result;
}

void FillInitBlock(TData& data, std::uint8_t kind, std::uint16_t com_port) {
  data.InitBlock.fill(0);
  const TInterfaceKind* row = FindInterfaceKind(kind);
  if (!row) return;
  switch (row->init_shape) {
    case TInitShape::kParam:
      data.InitBlock[0] = kind == kKindSerial ? com_port : data.IsaBaseAddress;
      break;
    case TInitShape::kBlock:
      // The library reads the text through this address during Init only.
      data.InitBlock[0] = reinterpret_cast<std::intptr_t>(data.IpAddress.c_str());
      data.InitBlock[1] = data.UdpPort;
      data.InitBlock[2] = data.UdpTimeout;
      break;
    case TInitShape::kPlain:
      break;
  }
}

TOpenResult OpenLink(TData& data, const TLinkRequest& request) {
  CloseLink(data);
  const std::uint8_t kind = request.kind;
  data.InterfaceKind = kind;
  std::int32_t handle = data.LinkHandle;
  FillInitBlock(data, kind, request.com_port);
  TOpenResult result;
  result.code = DrvOpen(kind, &handle, &data.InitBlock);
  if (result.code != 0) {
    result.failed = TOpenStep::kOpen;
    result.text = ErrorText(kind, result.code);
    data.LinkOpen = false;
    return result;
  }
  data.LinkOpen = true;
  const std::int32_t timing =
      request.timing > 0 ? request.timing : TimingFromIndex(request.baud_index);
  result.code =
      DrvSetConfig(kind, handle, BaudFromIndex(request.baud_index), timing, kSetConfigMode);
  if (result.code != 0) {
    result.failed = TOpenStep::kSetConfig;
    CloseAfterFailure(data, kind, handle, result);
    return result;
  }
  if (!request.identify) {
    data.BaudRate = BaudFromIndex(request.baud_index);
    data.LinkHandle = handle;
    return result;
  }
  result.code = Identify(TModuleLink{kind, handle, request.address, request.observer}, result.name);
  if (result.code != 0) {
    result.failed = TOpenStep::kIdentify;
    CloseAfterFailure(data, kind, handle, result);
    return result;
  }
  data.ModuleName = result.name;
  data.ModuleAddress = request.address;
  data.BaudRate = BaudFromIndex(request.baud_index);
  data.ConnectionStatus = kConnectionOk;
  data.LinkHandle = handle;
  return result;
}

std::int32_t SetLinkRate(TData& data, std::uint8_t baud_index, std::int32_t timing) {
  if (timing <= 0) timing = TimingFromIndex(baud_index);
  const std::int32_t code = DrvSetConfig(data.InterfaceKind, data.LinkHandle,
                                         BaudFromIndex(baud_index), timing, kSetConfigMode);
  if (code == 0) data.BaudRate = BaudFromIndex(baud_index);
  return code;
}
