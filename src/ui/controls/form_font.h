#pragma once

#include <QFont>

namespace sorvex {

// The windows' interface font: an 11-pixel sans serif, the size the designed
// geometry (rows 16 high, toolbars 30, the 640 × 480 window) was laid out
// for. Linux desktops default to a larger face, which that geometry cuts.
QFont FormFont();

}  // namespace sorvex
