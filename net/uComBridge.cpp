#include "net/uComBridge.h"
#include "core/uErrnoText.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "core/uDebugLog.h"

std::string ComDevicePath(const std::string& portName) {
  if (portName.size() > 3 && std::toupper(static_cast<unsigned char>(portName[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(portName[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(portName[2])) == 'M' && portName.size() <= 6) {
    int n = 0;
    for (size_t i = 3; i < portName.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(portName[i]))) return portName;
      n = n * 10 + (portName[i] - '0');
    }
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return portName;
}

std::shared_ptr<TComBridge> TComBridge::Create(const std::string& portName) {
  std::shared_ptr<TComBridge> bridge(new TComBridge(portName));
  if (!bridge->Start()) return nullptr;
  return bridge;
}

TComBridge::TComBridge(const std::string& portName) : TDoorBridge("COMBRIDGE: "), FPortName(ComDevicePath(portName)) {}

int TComBridge::OpenPort(std::string& status) {
  const int fd = open(FPortName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    status = "Could not open " + FPortName + " (error " + ErrnoText(errno) +
             ") - is the virtual null-modem pair running, and is this its port (not the DOS program's own end)?";
    return -1;
  }
  // Nobody else may open the port while the bridge holds it.
  ioctl(fd, TIOCEXCL);
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    status = "Reading the line settings failed on " + FPortName + " (error " + ErrnoText(errno) + ")";
    close(fd);
    return -1;
  }
  cfmakeraw(&tio);
  cfsetispeed(&tio, B115200);
  cfsetospeed(&tio, B115200);
  tio.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  // Reads return at once with whatever is there.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    status = "Setting the line settings failed on " + FPortName + " (error " + ErrnoText(errno) + ")";
    close(fd);
    return -1;
  }
  return fd;
}

void TComBridge::Bridge() {
  std::string status;
  const int fd = OpenPort(status);
  if (fd < 0) {
    ReportStatus(status);
    return;
  }
  ReportStatus("Bridging live session to " + FPortName);
  const std::string reason = Pump(fd, false);
  close(fd);
  if (!reason.empty()) LogLine("COMBRIDGE: " + FPortName + " " + reason);
  ReportStatus(FPortName + " bridge closed");
}
