#pragma once
// The log upload: "SendLog.txt" from the system inventory and the infection
// summary, stored on the vendor's FTP server.
#include <string>
#include <vector>

#include "update/updater.h"

namespace app {
class Program;
}

namespace update {

// Host or host:port of the log upload's FTP server: the options value
// "UploadServer" when set, otherwise the build's server.
std::string UploadServer(app::Program& program);

// The lines of "SendLog.txt": the inventory with the summary lines added,
// sorted and without duplicates, as the inventory list keeps them (letter
// case ignored).
std::vector<std::string> SendLogLines(const LogLines& lines);

// Offered after a scan that found nothing (afterFix false) and after a fix:
// asks while the log upload switch is on and uploads on Yes.
void OfferLogUpload(app::Program& program, bool afterFix);

// Writes "SendLog.txt" and stores it as user name, random number and ".txt".
void UploadLog(app::Program& program);

}  // namespace update
