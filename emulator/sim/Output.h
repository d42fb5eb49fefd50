// Text output that never blocks the simulator: lines go out as far as the
// reader takes them, the rest waits in a bounded buffer, and a line that does
// not fit is dropped and counted. Serving requests must not stop because
// nobody reads stdout, stderr or a control connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm90sim {

class OutputChannel {
 public:
  static constexpr std::size_t kDefaultBound = 64 * 1024;
  // A controller's next line is handled only while less than this waits for
  // it, so that its replies never reach the bound.
  static constexpr std::size_t kReplyRoom = 16 * 1024;

  OutputChannel() = default;
  ~OutputChannel();
  OutputChannel(const OutputChannel&) = delete;
  OutputChannel& operator=(const OutputChannel&) = delete;

  // Writes to fd from now on. A pipe, FIFO or terminal is reopened with a
  // non-blocking description of its own, so that the shared one of the
  // parent's is left as it was; own: fd is closed with the channel.
  void Attach(int fd, bool own, std::size_t bound = kDefaultBound);
  void Close();

  // Queues text + '\n' whole or not at all; then writes what it can.
  void WriteLine(std::string_view text);
  // Queues text + '\n' even beyond the bound (the caller keeps replies few).
  void WriteReply(std::string_view text);
  void Flush();  // never blocks

  bool Attached() const { return fd_ >= 0; }
  bool Pending() const { return fd_ >= 0 && !buffer_.empty(); }
  int Fd() const { return fd_; }
  std::size_t Buffered() const { return fd_ >= 0 ? buffer_.size() : 0; }
  std::uint64_t DroppedLines() const { return dropped_lines_; }

 private:
  enum class Mode { kNonBlocking, kSocket, kPollFirst };
  long WriteSome(const char* data, std::size_t size);

  int fd_ = -1;
  bool own_ = false;
  Mode mode_ = Mode::kNonBlocking;
  std::size_t bound_ = kDefaultBound;
  std::string buffer_;
  std::uint64_t dropped_lines_ = 0;
  bool broken_ = false;  // the reader went away
};

}  // namespace qm90sim
