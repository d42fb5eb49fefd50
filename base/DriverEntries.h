// The seven C entries every QBL31x.DLL exports: the contract between a driver
// library and the program.
// Arguments and results are 32 bits, except the Init parameter block of the
// LAN converter whose slots are pointer-sized (slot 0 carries a text address).
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define QBL_CALL __stdcall
#define QBL_EXPORT extern "C" __declspec(dllexport)
#elif defined(__i386__)
#define QBL_CALL __attribute__((stdcall))
#define QBL_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define QBL_CALL
#define QBL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Number of slots in a text/request/answer buffer and in the Init block.
#define QBL_SLOTS 100
#define QBL_INIT_SLOTS 16

// Set in the Version of a library that emulates its module in process (the
// bundled QBL311..QBL313): nothing real is connected through it.
#define QBL_VERSION_EMULATION 0x10000

// Two modules at one address both answering. A request may ask, in this slot,
// that the library listen up to that many milliseconds (at most
// QBL_LISTEN_MOST_MS) after the answer for a second one. 0, as every request
// of the window program has it: the library neither looks nor waits, and the
// exchange costs what it did. A library that does not count ignores the slot.
#define QBL_REQUEST_LISTEN_SLOT 8
#define QBL_LISTEN_MOST_MS 100
// Answer slot in which a successful Send that was asked to listen tells how
// many answers came to the request: 1, or 2 and more when another module at
// the same address answered too. Otherwise, and from a library that does not
// count, the slot is left as the caller filled it. Slots 0..3 hold d1..d4 as
// ever.
#define QBL_ANSWER_COUNT_SLOT 4

// Entry shapes (prefix QBL31x_ in front of each name):
//   int32_t Version(void)                                    library version, 0x0102 style;
//                                                            QBL_VERSION_EMULATION set: the
//                                                            bundled emulation, no real module
//   int32_t Init(int32_t* handle, int32_t param)             kinds 0 (COM number), 1 (ISA base)
//   int32_t Init(int32_t* handle)                            kinds 2, 3
//   int32_t Init(int32_t* handle, const intptr_t* block)     kind 4: IP text, UDP port, time-out ms
//   int32_t SetConfig(int32_t handle, int32_t baud, int32_t timing, int32_t mode)
//   int32_t GetConfig(int32_t handle, int32_t* baud, int32_t* timing)
//   int32_t Send(int32_t handle, int32_t* request, int32_t* answer, int32_t* returned,
//                int32_t* status)
//   int32_t Done(int32_t* handle)
//   int32_t Error(int32_t code, int32_t* text)
typedef int32_t(QBL_CALL* QblVersionFn)(void);
typedef int32_t(QBL_CALL* QblInitParamFn)(int32_t* handle, int32_t param);
typedef int32_t(QBL_CALL* QblInitPlainFn)(int32_t* handle);
typedef int32_t(QBL_CALL* QblInitBlockFn)(int32_t* handle, const intptr_t* block);
typedef int32_t(QBL_CALL* QblSetConfigFn)(int32_t handle, int32_t baud, int32_t timing,
                                          int32_t mode);
typedef int32_t(QBL_CALL* QblGetConfigFn)(int32_t handle, int32_t* baud, int32_t* timing);
typedef int32_t(QBL_CALL* QblSendFn)(int32_t handle, int32_t* request, int32_t* answer,
                                     int32_t* returned, int32_t* status);
typedef int32_t(QBL_CALL* QblDoneFn)(int32_t* handle);
typedef int32_t(QBL_CALL* QblErrorFn)(int32_t code, int32_t* text);
