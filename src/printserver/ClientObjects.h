#pragma once
// The renderer client objects "APWebGrabber.Object" and "APServer.Object": they collect a
// print job's settings, hand the job to the print server over HTTP on loopback, wait for its
// result and report the PDF file's path.
//
// The address passed to DoPrint, Wait and CleanUp is used unless the environment variable
// TOVRIK_PRINT_SERVER is set ("host:port", e.g. "127.0.0.1:64399"): then that server is used,
// so tests and several installations can run their own servers on one machine.

#include <memory>
#include <string>

#include "pdf/ActivePDF.h"

namespace tovrik::printserver {

// Registers both ProgIDs with the object factory. The objects exist on this machine only:
// creating one for another server name raises kServerUnavailable.
void RegisterClientObjects();

std::unique_ptr<IWebGrabber> MakeWebGrabber();
std::unique_ptr<IPrt2Disk> MakePrt2Disk();

struct ServerAddress {
  std::string host;
  int port;
};
// The address the client objects use for the one they were given (see above).
ServerAddress EffectiveServerAddress(const std::string& host, int port);

}  // namespace tovrik::printserver
