// The program's side of the toolkit: set-up, the message loop, and what a
// handler or a test needs from it.
#pragma once

#include <functional>
#include <memory>

namespace qm90ui {

class TForm;

// One per process, made before the first form (in main and in the tests'
// main). Takes no options from the command line.
class TApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Shows `main_form` and processes messages until it has closed; returns the
  // program's exit code.
  int Run(TForm& main_form);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// Handles the messages waiting for the program's windows (clicks, keys,
// timers, repaints), then returns: called from inside a handler that keeps
// the window busy for a while.
void ProcessMessages();

// Processes messages for `ms` milliseconds (tests: lets timers run).
void ProcessMessagesFor(int ms);

// Runs `call` from the message loop once the current handler has returned
// (tests: act inside a modal dialog that the next ShowModal shows).
void Post(std::function<void()> call);

// The modal dialog now shown (the innermost one), or null.
TForm* ActiveModalForm();

// Stop requests from outside the program (Ctrl+C or a terminate request on
// Linux, Ctrl+C or Ctrl+Break in the console on Windows) close `form` as its
// close box does, from the message loop.
void CloseOnStopRequests(TForm& form);

}  // namespace qm90ui
