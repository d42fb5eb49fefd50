#include "panel/SimLink.h"

#include <QHostAddress>
#include <QUdpSocket>
#include <optional>

#include "emulator/ControlGrammar.h"

#include "panel/PanelStopSignals.h"

namespace qm90panel {

namespace {

constexpr int kMaxLine = 4096;  // longer lines are no emulator's; they are dropped
constexpr int kChildStopMs = 2000;

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
    const std::optional<qm90emulator::ReadyLine> ready =
        qm90emulator::ParseReady(line.toStdString());
    if (!ready_line_.isEmpty() || !ready) continue;
    ready_line_ = line;
    Connect(QString::fromStdString(qm90emulator::HostOf(ready->control)),
            static_cast<quint16>(qm90emulator::PortOf(ready->control)));
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
    const std::string text = line.toStdString();
    if (text.rfind(qm90emulator::kEventPrefix, 0) == 0) {
      HandleEvent(line);
    } else if (const auto reply = qm90emulator::ParseReply(text); reply && !reply->ok) {
      emit replyError(line);
    }
  }
}

void SimLink::SocketFailed(QAbstractSocket::SocketError) {
  emit failed(QStringLiteral("Spojení s emulátorem: %1").arg(socket_.errorString()));
}

bool SimLink::HandleEvent(const QString& line) {
  const std::optional<qm90emulator::Event> event = qm90emulator::ParseEvent(line.toStdString());
  if (!event) return false;
  const auto number = [&event](const char* name) { return event->Number(name); };
  const auto field = [&event](const char* name) { return event->Field(name); };
  const std::string& kind = event->kind;
  const int id = static_cast<int>(number("module"));
  if (kind == "module") {
    emit moduleSeen(id);
  } else if (kind == "address") {
    emit addressChanged(id, int(number("address")), int(number("baud")));
  } else if (kind == "inputs" || kind == "outputs") {
    emit valueChanged(id, QString::fromStdString(kind), number("terminals"));
  } else if (kind == "aout" || kind == "status") {
    emit valueChanged(id, QString::fromStdString(kind), number("value"));
  } else if (kind == "register") {
    emit registerChanged(id, int(number("register")), int(number("value")));
  } else if (kind == "faults") {
    emit faultsChanged(int(number("drop")), int(number("corrupt")), int(number("delay")));
  } else if (kind == "wiring") {
    emit wiringChanged(id, field("wiring") == "loopback");
  } else if (kind == "stuck") {
    emit stuckChanged(id, field("side") == "din", int(number("low")), int(number("high")));
  } else if (kind == "twin") {
    emit twinChanged(id, field("twin") == "on");
  } else if (kind == "serial") {
    emit serialChanged(field("state") == "present");
  } else if (kind == "exchange") {
    ExchangeRecord r;
    r.unix_ms = number("time");
    r.udp = field("line") == "udp";
    r.address = int(number("address"));
    r.command = int(number("command"));
    r.subcode = int(number("subcode"));
    const char* sent[] = {"d0", "d1", "d2", "d3", "d4"};
    const char* answered[] = {"a0", "a1", "a2", "a3", "a4"};
    for (int i = 0; i < 5; ++i) {
      r.sent[i] = int(number(sent[i]));
      r.answered[i] = int(number(answered[i]));
    }
    r.result = QString::fromStdString(field("result"));
    r.status = int(number("status"));
    emit exchange(r);
  } else {
    return false;
  }
  return true;
}

QString SimLink::FreeUdpOrAny(quint16 preferred) {
  QUdpSocket probe;
  const bool free =
      probe.bind(QHostAddress::LocalHost, preferred, QAbstractSocket::DontShareAddress);
  return QStringLiteral("127.0.0.1:%1").arg(free ? preferred : 0);
}

}  // namespace qm90panel
