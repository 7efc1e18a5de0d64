#pragma once
// zelmor without a window: polls the documents of a workspace, of .zmd files or
// of --poll options and prints one data-log line per completed poll. Qt-free.
#include <optional>
#include <string>
#include <vector>

#include "master/app/core/zelmor_files.h"

namespace zelmor {

struct HeadlessPoll {
  PollDocumentData document;
  std::string source;  // file path or the --poll text, for messages
};

struct HeadlessOptions {
  bool help = false;
  CommSettings settings;
  bool haveLink = false;          // --tcp, --serial or a workspace gave the link
  std::string serialDevice;       // --serial DEVICE (mapped to port 1)
  std::vector<std::string> files;  // .zmd and .zmw paths, in order
  std::vector<HeadlessPoll> polls;  // from --poll
  int format = -1;                 // --format, -1 = each document's own
  int count = 0;                   // polls per document before exit; 0 = until a signal
  int delimiter = 1;               // comma
  bool timing = false;             // --timing: response times at the end of each line
  std::optional<int> timeout;            // given explicitly
  std::optional<int> delayBetweenPolls;  // given explicitly
};

// Parses the arguments after the program name (with or without "--headless").
// False with *error set for a bad option.
bool ParseHeadlessOptions(const std::vector<std::string>& args, HeadlessOptions* options, std::string* error);
const char* HeadlessUsage();

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitBadOption = 2;
constexpr int kExitBadFile = 3;
constexpr int kExitConnectFailed = 4;
constexpr int kExitNoResources = 5;

// Runs the headless program; returns the process exit code.
int RunHeadless(const std::vector<std::string>& args);

}  // namespace zelmor
