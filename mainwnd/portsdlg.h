#pragma once
// The port map of the link library as the window shows it (read and written by the library's
// portmap.h), and the dialog in which the operator maps COM1-COM8 to the built-in simulator,
// to a Kavro controller on a serial device or to a GRBL controller on a serial device.
//
// The dialog only edits: it is built from the current map and hands back the rows the
// operator changed (PortsDlg::Changes()); the caller writes them with WritePortMap. Rows the
// operator left alone are never rewritten, so hand-written entries ("simulator --silent")
// stay as they are.

#include "adapters.h"

#include <QDialog>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// Port map values by port name ("COM3" -> "grbl:/dev/ttyUSB0"); an empty value is an unmapped
// port, which the built-in simulator serves.
struct PortMap {
    QMap<QString, QString> values;
};

// One port's mapping as the dialog shows it.
struct PortMapping {
    enum Kind { Simulator, KavroDevice, GrblDevice };
    Kind kind = Simulator;
    QString device;   // the device path of KavroDevice and GrblDevice
    QString options;  // what follows "simulator" (fault options), kept as written

    // Reads a port map value: empty or "simulator [options]" (any case), "grbl:<path>", or a
    // device path.
    static PortMapping Parse(const QString& value);
    // The port map value: "simulator [options]", "grbl:<path>" or the path.
    QString Value() const;
};

// The ports the dialog lists: COM1 to COM8.
QStringList PortMapPorts();

// The serial devices below root ("/" on the machine) by the paths an operator knows them by:
// the stable names in dev/serial/by-id first, then dev/ttyUSB*, dev/ttyACM* and dev/ttyS*, each
// group in name order with numbers counted (ttyS2 before ttyS10). Only entries that exist
// (a dangling by-id link does not) are listed.
QStringList FindSerialDevices(const QString& root = QStringLiteral("/"));

// The port map value of any port ("" when unmapped). A hand-written value with commas, which
// the settings read back as a list, is joined again.
QString PortMapValue(const QString& port);
// The values of the listed ports in the link library's settings.
PortMap ReadPortMap();
// Writes exactly the given entries into the link library's settings.
void WritePortMap(const PortMap& changes);

class PortsDlg : public QDialog {
    Q_OBJECT
public:
    // current: the map as stored; devices: the serial devices offered in every path list;
    // adapters: the serial devices the system describes (listed with their USB identity, which
    // every path list offers too, so a port can follow its adapter from tty to tty).
    PortsDlg(const PortMap& current, const QStringList& devices, QWidget* parent = nullptr,
             const QList<quenta::SerialAdapter>& adapters = {});

    // After OK: the rows whose mapping the operator changed, with their new values.
    PortMap Changes() const { return changes; }

public Q_SLOTS:
    // Takes the rows; stays open (naming the port) while a device row has no path.
    void accept() override;
    // The adapter selected in the list becomes the device of the port chosen beside it, by its
    // identity when it has one, else by its path.
    void UseAdapter();
    // Asks the selected adapter for a GRBL welcome, off the window's thread; on an answer the
    // chosen port becomes a GRBL controller on that adapter, otherwise the dialog says why.
    void DetectGrbl();

Q_SIGNALS:
    // A detection ended (tests wait for it).
    void DetectionFinished(bool grbl);

private:
    struct Row {
        QString port;
        PortMapping original;
        QComboBox* kind = nullptr;
        QComboBox* device = nullptr;
        QLabel* missing = nullptr;  // "device not found", beside missingIcon
        QLabel* missingIcon = nullptr;
    };
    void UpdateRow(const Row& row);
    PortMapping Mapping(const Row& row) const;

    // The selected adapter's identity, or its path when it has none; empty without selection.
    QString SelectedAdapterDevice() const;
    Row* ChosenRow();

    QList<Row> rows;
    QList<quenta::SerialAdapter> adapters;
    QTableWidget* adapterTable = nullptr;
    QComboBox* adapterPort = nullptr;
    QPushButton* detectButton = nullptr;
    QLabel* statusLabel = nullptr;
    PortMap changes;
};
