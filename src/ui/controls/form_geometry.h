#pragma once

#include <string>

class QWidget;

namespace sorvex {

// A window's place and size, kept in the INI file under `prefix` followed by
// Top, Left, Width and Height; the defaults stand for a first run. A first
// run writes the keys as they are read: Top, Left, Height, Width.
void RestoreFormGeometry(QWidget& form, const std::string& iniFileName, const std::string& prefix,
                         int defaultWidth, int defaultHeight);
void SaveFormGeometry(const QWidget& form, const std::string& iniFileName,
                      const std::string& prefix);

// Shows a window, un-minimised, in front and with the focus.
void ShowFormRestored(QWidget& form);

}  // namespace sorvex
