#pragma once

#include <string>

#include "monitor/kp_record.h"

namespace sorvex {

// The statistics grid's ten columns: titles and the text of a record's cell
// for the displayed channel (0 requests, 1 answers). Columns 0..2 show both
// channels whatever `channel` is.
inline constexpr int kStatisticsColumns = 10;
const char* StatisticsColumnTitle(int column);
std::string StatisticsCellText(const TKpRecord& record, int column, int channel);

}  // namespace sorvex
