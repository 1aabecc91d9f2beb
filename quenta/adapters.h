#pragma once
// Serial adapters as the system lists them (Qt's serial port information: USB vendor and
// product ids, serial number), and the port map's way of naming an adapter by its identity
// instead of its tty: "usb:1a86:7523:A9C3" (vendor:product:serial, hexadecimal ids; without
// the serial number when the adapter has none). A machine mapped so keeps its port when the
// system numbers its tty differently after a replug.

#include <QList>
#include <QString>

#include <cstdint>
#include <string>

namespace quenta {

struct SerialAdapter {
    QString path;  // /dev/ttyUSB0
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool hasIds = false;
    uint16_t vendorId = 0;
    uint16_t productId = 0;

    // "usb:1a86:7523:A9C3"; empty when the adapter has no USB ids.
    QString identity() const;
};

// Every serial device the system knows of now.
QList<SerialAdapter> serialAdapters();

// Whether a port map device names an adapter by identity rather than a path.
bool isAdapterIdentity(const QString& device);

// The tty of the adapter with this identity among adapters; empty when none matches, and then
// missing says which adapter is not plugged in.
QString resolveAdapter(const QString& identity, const QList<SerialAdapter>& adapters,
                       QString& missing);

// Opens the device as a GRBL controller at baud and waits for its welcome (bounded by the
// GRBL device's own timeouts); the welcome's version ("Grbl 1.1h") in what, or why not.
// Blocks: call it off the window's thread.
bool probeGrbl(const std::string& path, int32_t baud, std::string& what);

}  // namespace quenta
