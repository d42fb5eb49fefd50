// The serial transport: sequence numbers, the answer's two waits and the
// scanning of the byte stream, over whatever port the platform opened.
#include <utility>

#include "drivers/Codes.h"
#include "drivers/SerialPort.h"
#include "drivers/Transport.h"

namespace qm90drivers {
namespace {

constexpr std::size_t kReadSize = 256;
constexpr std::int32_t kHighestCom = 255;

struct SerialLink {
  std::unique_ptr<SerialPort> port;
  const WaitClock* clock = nullptr;
  SerialWaits waits{};
  std::uint8_t sequence = 0;  // of the request in flight; the module echoes it
  qm90::StreamScanner scanner;
};

std::int32_t WriteFrame(SerialLink& link, const std::vector<std::uint8_t>& frame,
                        Clock::time_point deadline) {
  std::size_t written = 0;
  while (written < frame.size()) {
    const Micros left = TimeLeft(*link.clock, deadline);
    if (left.count() <= 0) return kTimeout;
    std::size_t n = 0;
    const std::int32_t code =
        link.port->Write(frame.data() + written, frame.size() - written, left, n);
    if (code != kOk) return code;
    written += n;
  }
  return kOk;
}

// Reads until the addressed module's answer to this request arrives or time
// runs out. Silence until the first-byte wait ends means no module answers;
// once bytes came, the answer gets until its whole-answer wait, which nothing
// that arrives later moves. A sound answer of another module or to an earlier
// request (one that came after its time-out) is skipped; bytes that made no
// sound frame count as a damaged answer. Every byte of a read goes through the
// scanner, however many came at once; only the clock ends the wait.
std::int32_t ReadAnswer(SerialLink& link, std::uint8_t address, qm90::Answer& answer,
                        Clock::time_point sent) {
  std::uint8_t buffer[kReadSize];
  Clock::time_point deadline = sent + link.waits.first_byte;
  bool heard = false;
  for (Micros left = TimeLeft(*link.clock, deadline); left.count() > 0;
       left = TimeLeft(*link.clock, deadline)) {
    std::size_t n = 0;
    const std::int32_t code = link.port->Read(buffer, sizeof buffer, left, n);
    if (code != kOk) return code;
    if (n == 0) continue;
    if (!heard) deadline = sent + link.waits.whole_answer;
    heard = true;
    std::size_t used = 0;
    if (link.scanner.FindAnswer(buffer, n, address, link.sequence, answer, used)) return kOk;
  }
  const bool damaged = link.scanner.NoiseBytes() > 0 || link.scanner.Pending() > 0;
  return damaged ? kDamagedAnswer : kTimeout;
}

std::int32_t SerialConfigure(void* context, const LinkSettings& settings) {
  auto* link = static_cast<SerialLink*>(context);
  const std::int32_t code = link->port->SetBaud(settings.baud);
  if (code == kOk) link->waits = SerialAnswerWaits(settings.baud, settings.timing);
  return code;
}

std::int32_t SerialExchange(void* context, const qm90::Request& request, qm90::Answer& answer) {
  auto* link = static_cast<SerialLink*>(context);
  link->port->DiscardInput();  // what came before this request is no answer to it
  link->scanner.Clear();
  qm90::Request numbered = request;
  numbered.sequence = ++link->sequence;
  const Clock::time_point sent = link->clock->Now();
  const std::int32_t code =
      WriteFrame(*link, qm90::EncodeRequest(numbered), sent + link->waits.first_byte);
  if (code != kOk) return code;
  return ReadAnswer(*link, request.address, answer, sent);
}

void SerialClose(void* context) {
  delete static_cast<SerialLink*>(context);
}

constexpr Transport kSerial{SerialConfigure, SerialExchange, SerialClose};

}  // namespace

OpenedLink OpenSerialOver(std::unique_ptr<SerialPort> port, const WaitClock& clock,
                          std::uint8_t first_sequence) {
  auto* link = new SerialLink;
  link->port = std::move(port);
  link->clock = &clock;
  link->waits = SerialAnswerWaits(LinkSettings{}.baud, LinkSettings{}.timing);
  link->sequence = first_sequence;
  return {&kSerial, link};
}

std::int32_t OpenSerial(std::int32_t com_number, OpenedLink& out) {
  if (com_number < 1 || com_number > kHighestCom) return kInvalidParameter;
  std::unique_ptr<SerialPort> port;
  const std::int32_t code = OpenSerialPort(com_number, port);
  if (code != kOk) return code;
  if (port->SetBaud(LinkSettings{}.baud) != kOk) return kPortSetupFailed;
  // A port opened again starts its sequence elsewhere than the last one did,
  // so that an answer still on the line from before is not taken for a new one.
  const auto first = static_cast<std::uint8_t>(FirstSequence(port.get()));
  out = OpenSerialOver(std::move(port), SteadyClock(), first);
  return kOk;
}

}  // namespace qm90drivers
