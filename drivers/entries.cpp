// The seven C entries of one QBL31x library. Compiled once per library with
// QBL_NAME (QBL310 .. QBL314) and QBL_KIND (0 .. 4); only Init differs by kind.
#include <exception>

#include "base/DriverEntries.h"
#include "drivers/Codes.h"
#include "drivers/Library.h"

#if !defined(QBL_NAME) || !defined(QBL_KIND)
#error "QBL_NAME and QBL_KIND must be defined"
#endif

#define QBL_CAT2(a, b) a##b
#define QBL_CAT(a, b) QBL_CAT2(a, b)
#define QBL_ENTRY(word) QBL_CAT(QBL_NAME, QBL_CAT(_, word))
#define QBL_STR2(x) #x
#define QBL_STR(x) QBL_STR2(x)

namespace {

qm90drivers::Library& Lib() {
  static qm90drivers::Library library(QBL_KIND);
  return library;
}

// No exception ever leaves an entry.
template <typename Body>
std::int32_t Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return qm90drivers::kInternalError;
  }
}

template <typename Open>
std::int32_t InitWith(std::int32_t* handle, Open&& open) {
  return Guarded([&] {
    if (handle == nullptr) return static_cast<std::int32_t>(qm90drivers::kInvalidParameter);
    qm90drivers::OpenedLink link;
    const std::int32_t code = open(link);
    return Lib().Register(handle, code, link);
  });
}

#if QBL_KIND == 1
// ISA I/O space the card may be jumpered to: 100h..3F0h in steps of 10h.
constexpr std::int32_t kIsaBaseLowest = 0x100;
constexpr std::int32_t kIsaBaseHighest = 0x3F0;

std::int32_t CheckIsaBase(std::int32_t base) {
  const bool in_range = base >= kIsaBaseLowest && base <= kIsaBaseHighest;
  return in_range && base % 0x10 == 0 ? qm90drivers::kOk : qm90drivers::kIsaBaseRange;
}
#endif

}  // namespace

QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(Version)(void) {
#if QBL_KIND >= 1 && QBL_KIND <= 3
  return qm90drivers::kLibraryVersion | QBL_VERSION_EMULATION;
#else
  return qm90drivers::kLibraryVersion;
#endif
}

#if QBL_KIND == 0
QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(Init)(std::int32_t* handle, std::int32_t com_number) {
  return InitWith(handle, [&](qm90drivers::OpenedLink& link) {
    return qm90drivers::OpenSerial(com_number, link);
  });
}
#elif QBL_KIND == 1
QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(Init)(std::int32_t* handle, std::int32_t base) {
  return InitWith(handle, [&](qm90drivers::OpenedLink& link) {
    const std::int32_t code = CheckIsaBase(base);
    return code != qm90drivers::kOk ? code : qm90drivers::OpenInProcess(QBL_STR(QBL_NAME), link);
  });
}
#elif QBL_KIND == 2 || QBL_KIND == 3
QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(Init)(std::int32_t* handle) {
  return InitWith(handle, [](qm90drivers::OpenedLink& link) {
    return qm90drivers::OpenInProcess(QBL_STR(QBL_NAME), link);
  });
}
#elif QBL_KIND == 4
QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(Init)(std::int32_t* handle, const intptr_t* block) {
  return InitWith(handle,
                  [&](qm90drivers::OpenedLink& link) { return qm90drivers::OpenUdp(block, link); });
}
#else
#error "QBL_KIND must be 0..4"
#endif

QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(SetConfig)(std::int32_t handle, std::int32_t baud,
                                                      std::int32_t timing, std::int32_t mode) {
  return Guarded([&] { return Lib().SetConfig(handle, baud, timing, mode); });
}

QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(GetConfig)(std::int32_t handle, std::int32_t* baud,
                                                      std::int32_t* timing) {
  return Guarded([&] { return Lib().GetConfig(handle, baud, timing); });
}

QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(Send)(std::int32_t handle, std::int32_t* request,
                                                 std::int32_t* answer, std::int32_t* returned,
                                                 std::int32_t* status) {
  return Guarded([&] { return Lib().Send(handle, request, answer, returned, status); });
}

QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(Done)(std::int32_t* handle) {
  return Guarded([&] { return Lib().Done(handle); });
}

QBL_EXPORT std::int32_t QBL_CALL QBL_ENTRY(Error)(std::int32_t code, std::int32_t* text) {
  return Guarded([&] { return qm90drivers::Library::Error(code, text); });
}
