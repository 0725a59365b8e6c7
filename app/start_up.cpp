#include <cstdint>
#include <exception>
#include <filesystem>

#include "app/app_constants.h"
#include "app/min_replicator.h"
#include "support/durable_writes.h"
#include "support/filesystem_helpers.h"
#include "support/ini_file.h"
#include "support/log.h"
#include "support/platform.h"

namespace {

int StartUp(int argc, const char* const* argv) {
  const std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  SetCurrentDir(support::PathFromNarrow(program).parent_path());
  {
    const IniFile ini(kSettingsFileName);
    SetLogLevel(static_cast<std::uint8_t>(ini.GetInt("General", "DebugLevel", kDefaultDebugLevel)));
  }
  CMinReplicator replicator;
  if (!replicator.ParseParameters(argc, argv)) return kExitRefused;
  if (!replicator.ValidateParameters())
    return replicator.runLockRefused_ ? kExitArchiveBusy : kExitRefused;
  replicator.Run();
  return kExitAfterRun;
}

}  // namespace

int RunBarsync(int argc, const char* const* argv) {
  try {
    return StartUp(argc, argv);
  } catch (const std::exception& e) {
    support::SyncNotedDirectories();  // what was written before the failure stays written
    LogError("%s", e.what());
    return kExitAfterRun;
  }
}
