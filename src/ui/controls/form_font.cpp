#include "ui/controls/form_font.h"

#include <QStringList>

namespace sorvex {

QFont FormFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

}  // namespace sorvex
