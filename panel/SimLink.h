// The panel's one line to qm90-sim: starts it as a child (or attaches to a
// running one) and talks to it over its control socket on 127.0.0.1. All of
// it is asynchronous: nothing here waits for the emulator.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <array>
#include <cstdint>

namespace qm90panel {

// One request the emulator served, as its event line tells it.
struct ExchangeRecord {
  qint64 unix_ms = 0;
  bool udp = false;
  int address = 0;
  int command = 0;
  int subcode = 0;
  std::array<int, 5> sent{};
  QString result;  // ok, drop, none, lost
  int status = 0;
  std::array<int, 5> answered{};
};

class SimLink : public QObject {
  Q_OBJECT
 public:
  explicit SimLink(QObject* parent = nullptr);
  ~SimLink() override;

  // sim_args are qm90-sim's own options; a control port is added.
  void StartChild(const QString& program, const QStringList& sim_args);
  void Attach(const QString& host, quint16 port);
  void Send(const QString& line);
  bool Connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
  QString ReadyLine() const { return ready_line_; }

  // Parses one event line; false when it is none the panel knows.
  bool HandleEvent(const QString& line);

  // "127.0.0.1:PORT" when that port is free on the loopback, else
  // "127.0.0.1:0" (the system chooses).
  static QString FreeUdpOrAny(quint16 preferred);

 signals:
  void ready(const QString& description);
  void failed(const QString& text);
  void logLine(const QString& text);  // the emulator's own messages
  void replyError(const QString& text);
  void moduleSeen(int identity);
  void addressChanged(int identity, int address, int baud_index);
  void valueChanged(int identity, const QString& what, qint64 value);
  void registerChanged(int identity, int number, int value);
  void faultsChanged(int drop, int corrupt, int delay);
  void wiringChanged(int identity, bool loopback);
  // input: DIN, else DOUT; low/high: masks of the channels stuck at 0 / 1.
  void stuckChanged(int identity, bool input, int low, int high);
  void twinChanged(int identity, bool present);
  void serialChanged(bool present);
  void exchange(const qm90panel::ExchangeRecord& record);

 private:
  void ReadChildOutput();
  void ReadChildErrors();
  void ChildEnded(int code, QProcess::ExitStatus status);
  void ReadSocket();
  void SocketFailed(QAbstractSocket::SocketError error);
  void Connect(const QString& host, quint16 port);

  QProcess child_;
  QTcpSocket socket_;
  QString ready_line_;
  QByteArray child_stdout_;
  QByteArray child_stderr_;
  QByteArray socket_buffer_;
  QString last_error_line_;
};

}  // namespace qm90panel
