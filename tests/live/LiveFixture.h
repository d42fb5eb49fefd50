// Shared by the live-window tests: a record with an open link to a driver,
// windows shown on demand and every status text they set.
#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <QTimer>
#include <memory>

#include "link/Dekl.h"
#include "link/QBLxxx.h"
#include "tests/support/QtWindow.h"
#include "tests/support/ShowWindow.h"
#include "ui/qt/Widgets.h"

namespace livetest {

// Opens `kind`'s library from the folder already set with SetDriverDirectory.
inline bool OpenLink(TData& data, std::uint8_t kind) {
  std::int32_t handle = 0;
  if (DrvOpen(kind, &handle, &data.InitBlock) != 0 || handle == 0) return false;
  data.InterfaceKind = kind;
  data.LinkHandle = handle;
  data.LinkOpen = true;
  return DrvSetConfig(kind, handle, 9600, 13, 2) == 0;
}

inline void CloseLink(TData& data) {
  if (data.LinkOpen && data.LinkHandle != 0) DrvClose(data.InterfaceKind, &data.LinkHandle);
  data.LinkOpen = false;
}

// Every text the window's status bar is given, in order.
class StatusLog {
 public:
  explicit StatusLog(qm90test::TWin form)
      : bar_(form->findChild<qm90qt::TStatusBar*>("StatusBar1")) {
    if (bar_)
      QObject::connect(bar_, &qm90qt::TStatusBar::PanelTextSet,
                       [this](int, const QString& text) { texts_ << text; });
  }
  const QStringList& Texts() const { return texts_; }
  QString Shown() const { return bar_ ? bar_->PanelText(0) : QStringLiteral("<no status bar>"); }
  void Clear() { texts_.clear(); }

 private:
  qm90qt::TStatusBar* bar_;
  QStringList texts_;
};

using qm90test::StopTimer;

}  // namespace livetest
