#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace sorvex {

// SIGINT and SIGTERM end the program as closing its window does. The
// handler only writes a byte into a pipe (nothing else is safe inside it);
// the event loop reads it and runs `close` on the GUI thread. The previous
// handlers come back when the object goes. One object at a time.
class TSignalClose : public QObject {
  Q_OBJECT

 public:
  explicit TSignalClose(std::function<void()> close, QObject* parent = nullptr);
  ~TSignalClose() override;

  bool Installed() const { return FNotifier != nullptr; }
  // Signals received so far.
  int Received() const { return FReceived; }

 private:
  void ReadPipe();

  std::function<void()> FClose;
  QSocketNotifier* FNotifier = nullptr;
  int FReceived = 0;
};

}  // namespace sorvex
