// The timing report over a short stretch: the routines that ran, how often, and the
// fragments the occlusion queries counted.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace {

using namespace rendertest;

// The first table's rows: routine name -> the numbers after it ("|" dropped).
std::map<std::string, std::vector<double>> RoutineRows(const std::string& report) {
  std::map<std::string, std::vector<double>> rows;
  const size_t header = report.find("\nroutine ");
  if (header == std::string::npos) return rows;
  std::istringstream lines(report.substr(header + 1));
  std::string line;
  std::getline(lines, line);  // the header
  while (std::getline(lines, line) && !line.empty()) {
    std::istringstream words(line);
    std::string name, word;
    words >> name;
    std::vector<double> numbers;
    while (words >> word)
      if (word != "|") numbers.push_back(std::atof(word.c_str()));
    if (numbers.size() == 11 && name != "routine") rows[name] = numbers;
  }
  return rows;
}

TEST(RenderToolTiming, ReportsEachRoutineOfTheStretchWithItsFragments) {
  // 21000 is the last frame of the star stream; the 20 frames from 21015 to 21300 run
  // the wire room and the flash over it.
  const Result r = RunTool({"--timing", "--from", "21000", "--to", "21300", "--size", "320x240",
                            "--tiny", "32x24", "-q"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("clocks 21000 to 21300"), std::string::npos) << r.Out;
  const auto rows = RoutineRows(r.Out);
  ASSERT_EQ(rows.size(), 3u) << r.Out;
  EXPECT_EQ(rows.at("StarStreamScene1")[0], 1);
  EXPECT_EQ(rows.at("StarStreamScene2")[0], 20);
  const std::vector<double>& flash = rows.at("FlashOverlay");
  EXPECT_EQ(flash[0], 20);
  // The flash quad covers the frame: 320 x 240 fragments, untextured, one each.
  EXPECT_DOUBLE_EQ(flash[10], 0.077);
  for (const auto& [name, numbers] : rows) {
    SCOPED_TRACE(name);
    EXPECT_GT(numbers[1], 0.0);  // wall median
    EXPECT_GT(numbers[7], 0.0);  // own cpu
  }
}

}  // namespace
