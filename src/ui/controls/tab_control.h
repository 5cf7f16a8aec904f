#pragma once

#include <QFrame>
#include <QStringList>

class QTabBar;

namespace sorvex {

// A row of tabs over one client area that all tabs share (the filter tabs
// show the same controls for either filter, the preview tabs the same
// panel): the tab only says what the area shows.
class TTabControl : public QFrame {
  Q_OBJECT

 public:
  TTabControl(const QStringList& tabs, QWidget* parent = nullptr);

  int currentIndex() const;
  void setCurrentIndex(int index);
  QTabBar* TabBar() const { return FTabs; }
  QFrame* Page() const { return FPage; }  // the shared client area

 signals:
  void currentChanged(int index);

 private:
  QTabBar* FTabs;
  QFrame* FPage;
};

}  // namespace sorvex
