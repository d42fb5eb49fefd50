#include "panel/SimLink.h"

#include <QHostAddress>

#include "panel/StopSignals.h"

namespace qm90panel {

namespace {

constexpr int kMaxLine = 4096;  // longer lines are no emulator's; they are dropped
constexpr int kChildStopMs = 2000;

QString Value(const QString& line, const QString& key) {
  for (const QString& word : line.split(u' ', Qt::SkipEmptyParts)) {
    if (word.startsWith(key)) return word.mid(key.size());
  }
  return {};
}

// Takes the complete lines out of buffer (without their '\n').
QStringList TakeLines(QByteArray& buffer) {
  QStringList lines;
  qsizetype start = 0;
  for (qsizetype end = buffer.indexOf('\n'); end >= 0; end = buffer.indexOf('\n', start)) {
    lines << QString::fromUtf8(buffer.mid(start, end - start)).trimmed();
    start = end + 1;
  }
  buffer.remove(0, start);
  if (buffer.size() > kMaxLine) buffer.clear();
  return lines;
}

}  // namespace

SimLink::SimLink(QObject* parent) : QObject(parent) {
  connect(&child_, &QProcess::readyReadStandardOutput, this, &SimLink::ReadChildOutput);
  connect(&child_, &QProcess::readyReadStandardError, this, &SimLink::ReadChildErrors);
  connect(&child_, &QProcess::finished, this, &SimLink::ChildEnded);
  connect(&child_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) {
      emit failed(QStringLiteral("Emulátor nelze spustit: %1").arg(child_.errorString()));
    }
  });
  connect(&socket_, &QTcpSocket::connected, this, [this] {
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    Send(QStringLiteral("subscribe"));
    emit ready(ready_line_);
  });
  connect(&socket_, &QTcpSocket::readyRead, this, &SimLink::ReadSocket);
  connect(&socket_, &QTcpSocket::errorOccurred, this, &SimLink::SocketFailed);
}

SimLink::~SimLink() {
  child_.disconnect(this);  // its end now is no failure to report
  socket_.disconnect(this);
  socket_.abort();
  if (child_.state() != QProcess::NotRunning) {
    child_.terminate();
    if (!child_.waitForFinished(kChildStopMs)) child_.kill();
    child_.waitForFinished(kChildStopMs);
  }
}

void SimLink::StartChild(const QString& program, const QStringList& sim_args) {
  StopChildWithParent(child_);
  child_.setProgram(program);
  child_.setArguments(sim_args +
                      QStringList{QStringLiteral("--control"), QStringLiteral("127.0.0.1:0")});
  child_.start();
}

void SimLink::Attach(const QString& host, quint16 port) {
  ready_line_ = QStringLiteral("control=%1:%2").arg(host).arg(port);
  Connect(host, port);
}

void SimLink::Connect(const QString& host, quint16 port) {
  const QHostAddress address(host);
  if (!address.isLoopback()) {
    emit failed(QStringLiteral("Emulátor je dostupný jen na adrese 127.x.x.x, ne %1.").arg(host));
    return;
  }
  socket_.connectToHost(address, port);
}

void SimLink::Send(const QString& line) {
  if (!Connected()) return;
  socket_.write((line + u'\n').toUtf8());
}

void SimLink::ReadChildOutput() {
  child_stdout_ += child_.readAllStandardOutput();
  for (const QString& line : TakeLines(child_stdout_)) {
    if (!ready_line_.isEmpty() || !line.startsWith(QStringLiteral("qm90-sim ready"))) continue;
    ready_line_ = line;
    const QString control = Value(line, QStringLiteral("control="));
    const qsizetype colon = control.lastIndexOf(u':');
    Connect(control.left(colon), control.mid(colon + 1).toUShort());
  }
}

void SimLink::ReadChildErrors() {
  child_stderr_ += child_.readAllStandardError();
  for (const QString& line : TakeLines(child_stderr_)) {
    if (line.isEmpty()) continue;
    last_error_line_ = line;
    emit logLine(line);
  }
}

void SimLink::ChildEnded(int code, QProcess::ExitStatus status) {
  QString text = status == QProcess::CrashExit
                     ? QStringLiteral("Emulátor havaroval.")
                     : QStringLiteral("Emulátor skončil (kód %1).").arg(code);
  if (!last_error_line_.isEmpty()) text += u' ' + last_error_line_;
  emit failed(text);
}

void SimLink::ReadSocket() {
  socket_buffer_ += socket_.readAll();
  for (const QString& line : TakeLines(socket_buffer_)) {
    if (line.startsWith(QStringLiteral("event "))) {
      HandleEvent(line);
    } else if (line.startsWith(QStringLiteral("error"))) {
      emit replyError(line);
    }
  }
}

void SimLink::SocketFailed(QAbstractSocket::SocketError) {
  emit failed(QStringLiteral("Spojení s emulátorem: %1").arg(socket_.errorString()));
}

bool SimLink::HandleEvent(const QString& line) {
  const QStringList w = line.split(u' ', Qt::SkipEmptyParts);
  if (w.size() < 3) return false;
  const QString& kind = w[1];
  QList<qint64> n;
  for (qsizetype i = 2; i < w.size(); ++i) {
    bool ok = false;
    n << w[i].toLongLong(&ok);
    if (!ok) n.back() = -1;
  }
  if (kind == u"module" && n.size() == 1) {
    emit moduleSeen(int(n[0]));
  } else if (kind == u"address" && n.size() == 3) {
    emit addressChanged(int(n[0]), int(n[1]), int(n[2]));
  } else if ((kind == u"inputs" || kind == u"outputs" || kind == u"aout" || kind == u"status") &&
             n.size() == 2) {
    emit valueChanged(int(n[0]), kind, n[1]);
  } else if (kind == u"register" && n.size() == 3) {
    emit registerChanged(int(n[0]), int(n[1]), int(n[2]));
  } else if (kind == u"faults" && n.size() == 3) {
    emit faultsChanged(int(n[0]), int(n[1]), int(n[2]));
  } else if (kind == u"exchange" && w.size() == 19) {
    ExchangeRecord r;
    r.unix_ms = n[0];
    r.udp = w[3] == u"udp";
    r.address = int(n[2]);
    r.command = int(n[3]);
    r.subcode = int(n[4]);
    for (int i = 0; i < 5; ++i) r.sent[i] = int(n[5 + i]);
    r.result = w[12];
    r.status = int(n[11]);
    for (int i = 0; i < 5; ++i) r.answered[i] = int(n[12 + i]);
    emit exchange(r);
  } else {
    return false;
  }
  return true;
}

}  // namespace qm90panel
