#include "app/app_constants.h"
#include "app/min_replicator.h"

const char* UsageText() {
  return "Barsync.exe  -a [action] -f [minutes] -t [archive] -l [logs] -e [errors] -d [date] -s "
         "[Session_Start_Hour]\n"
         "\n"
         "      [action]    either \"add\", \"addlast\", \"insert\" or \"rebuild\" \n"
         "      [minutes]   path to the Export directory created by Tickpress\n"
         "      [archive]   path to the created or modified archive\n"
         "      [logs]      path and name to the created or modified log-file\n"
         "      [errors]    path and name to the created or modified errors-file\n"
         "      [date]      yyyymmdd - date of minutes that would be used\n"
         "                  is ignored for the rebuild action\n"
         "\n"
         "any parametr could be missed and then replaced by the value from Barsync.ini file\n";
}

std::string VersionText() {
  return std::string("Barsync ") + kVersion + "\n" + kNoticeText + "\n";
}
