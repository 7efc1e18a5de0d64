// Simulation rule files beside a definition (FILE.vnd.sim): read from the file
// and from text alike, written back to what reads the same.
#include "slave/core/simulation_entries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using simentries::SimulationEntry;

TEST(SimulationEntries, SidecarFileRoundTripCommentsAndLineEnds) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("simulation_entries_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = simentries::SidecarPath((dir / "pump.vnd").string());
  EXPECT_EQ(path, (dir / "pump.vnd.sim").string());
  std::vector<SimulationEntry> entries(1);
  std::string error;
  ASSERT_TRUE(simentries::LoadSidecar(path, &entries, &error));  // no file: no rules
  EXPECT_TRUE(entries.empty());

  // CR LF, trailing blanks, comments, empty lines and no final line end.
  std::ofstream(path, std::ios::binary) << "# rules\r\n\r\n1:3:0-9:ramp:0:100:1000 \t\r\n  \n"
                                           "1:1:0-7:toggle:400\r\n#2:3:0:bad\n2:4:5-6:random:-1:1:long";
  ASSERT_TRUE(simentries::LoadSidecar(path, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].text, "1:3:0-9:ramp:0:100:1000");
  EXPECT_EQ(entries[0].last, 9);
  EXPECT_EQ(entries[2].slaveId, 2);
  EXPECT_EQ(entries[2].table, 4);

  ASSERT_TRUE(simentries::SaveSidecar(path, entries, &error)) << error;
  std::vector<SimulationEntry> again;
  ASSERT_TRUE(simentries::LoadSidecar(path, &again, &error)) << error;
  ASSERT_EQ(again.size(), entries.size());
  for (std::size_t i = 0; i < again.size(); ++i) EXPECT_EQ(again[i].text, entries[i].text);
  ASSERT_TRUE(simentries::ParseSidecar(simentries::FormatSidecar(entries), &again, &error));
  EXPECT_EQ(again.size(), entries.size());

  // A bad line is named by its number, counting comments and empty lines.
  std::ofstream(path, std::ios::binary) << "# rules\n\n1:3:0:ramp:0:100:1000\n1:9:0:toggle:1\n";
  EXPECT_FALSE(simentries::LoadSidecar(path, &entries, &error));
  EXPECT_EQ(error.rfind("line 4: ", 0), 0u) << error;

  ASSERT_TRUE(simentries::SaveSidecar(path, {}, &error));  // no rules: no file
  EXPECT_FALSE(std::filesystem::exists(path));
  std::filesystem::remove_all(dir);
}

// A recording rule keeps colons in its path, reads nothing while parsing, reads
// each recording once from the rules file's folder, and refuses to make a rule
// of an unread or missing recording.
TEST(SimulationEntries, RecordingRulesReadTheirFileBesideTheRules) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("simulation_entries_rec_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "a:b");
  std::ofstream(dir / "a:b" / "dev.csv") << "time,elapsed ms,unit,table,address,count,values\n"
                                            "t,0,1,holding registers,400001,2,0011 0022\n";
  const std::string path = (dir / "pump.vnd.sim").string();
  std::ofstream(path) << "1:3:0-1:recording:a:b/dev.csv\n1:3:1:recording:a:b/dev.csv\n";
  std::vector<SimulationEntry> entries;
  std::string error;
  ASSERT_TRUE(simentries::ParseSidecar("1:3:0:recording:/nowhere.csv\n", &entries, &error)) << error;
  vnd::VndDocument d;
  d.slaveId = 1;
  d.table = 3;
  d.length = 10;
  simulation::Rule rule;
  EXPECT_FALSE(simentries::RuleFor(entries[0], d, &rule, &error));
  EXPECT_EQ(error, "the recording /nowhere.csv is not read");
  EXPECT_FALSE(simentries::LoadRecordings(&entries, "", &error));
  EXPECT_EQ(error.rfind("/nowhere.csv: ", 0), 0u) << error;

  ASSERT_TRUE(simentries::LoadSidecar(path, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].recordingPath, "a:b/dev.csv");
  EXPECT_EQ(entries[0].recorded, entries[1].recorded);  // one file, read once
  ASSERT_TRUE(simentries::RuleFor(entries[0], d, &rule, &error)) << error;
  ASSERT_TRUE(rule.track);
  EXPECT_EQ(rule.track->values, (std::vector<std::uint16_t>{0x11, 0x22}));
  EXPECT_EQ(simentries::FormatSidecar(entries).substr(simentries::FormatSidecar({}).size()),
            "1:3:0-1:recording:a:b/dev.csv\n1:3:1:recording:a:b/dev.csv\n");
  std::filesystem::remove_all(dir);
}
