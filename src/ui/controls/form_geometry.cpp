#include "ui/controls/form_geometry.h"

#include <QWidget>

#include "util/config.h"

namespace sorvex {

void RestoreFormGeometry(QWidget& form, const std::string& iniFileName, const std::string& prefix,
                         int defaultWidth, int defaultHeight) {
  const int top = IniReadInt(iniFileName, prefix + "Top", 0);
  const int left = IniReadInt(iniFileName, prefix + "Left", 0);
  const int height = IniReadInt(iniFileName, prefix + "Height", defaultHeight);
  const int width = IniReadInt(iniFileName, prefix + "Width", defaultWidth);
  form.move(left, top);
  form.resize(width, height);
}

void SaveFormGeometry(const QWidget& form, const std::string& iniFileName,
                      const std::string& prefix) {
  IniWriteInt(iniFileName, prefix + "Top", form.y());
  IniWriteInt(iniFileName, prefix + "Left", form.x());
  IniWriteInt(iniFileName, prefix + "Width", form.width());
  IniWriteInt(iniFileName, prefix + "Height", form.height());
}

void ShowFormRestored(QWidget& form) {
  form.show();
  form.setWindowState(form.windowState() & ~Qt::WindowMinimized);
  form.raise();
  form.activateWindow();
}

}  // namespace sorvex
