// The session layer in one include: what a front end (the window program, the
// command-line tool, a benchmark) needs to open a link and talk to a module.
//   InterfaceKinds.h    the kinds, their libraries and Init shapes
//   OpenLink.h          CloseLink, FillInitBlock, OpenLink
//   Commands.h          LinkIsOpen, TModuleLink, one typed call per request
//   RegisterTransfer.h  reading registers, writing them with read-back
//   QBLxxx.h            the driver binding underneath, ErrorText
#pragma once

#include "base/ModuleCommands.h"
#include "link/Commands.h"
#include "link/InterfaceKinds.h"
#include "link/OpenLink.h"
#include "link/QBLxxx.h"
#include "link/RegisterTransfer.h"
