#include "ui/window/signal_close.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace sorvex {

namespace {

int gPipe[2] = {-1, -1};
struct sigaction gPrevious[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};

extern "C" void OnCloseSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a close request.
  (void)!::write(gPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TSignalClose::TSignalClose(std::function<void()> close, QObject* parent)
    : QObject(parent), FClose(std::move(close)) {
  if (gPipe[0] >= 0 || ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  FNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, &TSignalClose::ReadPipe);
  struct sigaction action = {};
  action.sa_handler = &OnCloseSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &action, &gPrevious[i]);
}

TSignalClose::~TSignalClose() {
  if (FNotifier == nullptr) return;
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
  delete FNotifier;
  for (int& fd : gPipe) {
    ::close(fd);
    fd = -1;
  }
}

void TSignalClose::ReadPipe() {
  char buffer[64];
  bool any = false;
  for (ssize_t n; (n = ::read(gPipe[0], buffer, sizeof buffer)) > 0;) {
    FReceived += static_cast<int>(n);
    any = true;
  }
  if (any && FClose) FClose();
}

}  // namespace sorvex
