#pragma once

#include <QColor>
#include <QSize>
#include <QWidget>
#include <vector>

class QPainter;

namespace sorvex {

// The live spectrum of the line: requests (left channel) in blue and
// answers (right channel) in red, as on the oscillograph, 0..4000 Hz across,
// in dB, with the settings' two tones marked. It only paints what it is
// given.
class TSpectrumPanel : public QWidget {
  Q_OBJECT

 public:
  static inline const QColor kToneColour{0, 0x80, 0};

  // Fills `host` and follows its size.
  explicit TSpectrumPanel(QWidget* host);

  // Levels in dB per bin, bin m at m × binHz.
  void SetSpectrum(const std::vector<double>& requests, const std::vector<double>& answers,
                   double binHz);
  // The modem's tones in Hz (0: none marked).
  void SetTones(int freq0, int freq1);
  void Clear();

  void Paint(QPainter& painter, QSize size);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<double> FDb[2];
  double FBinHz = 0;
  int FTones[2] = {0, 0};
  QColor FBackground;
};

}  // namespace sorvex
