#include "portsdlg.h"

#include "portmap.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QtConcurrent/QtConcurrentRun>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Name order with runs of digits compared by their value: ttyS2 before ttyS10.
bool NumberAwareLess(const QString& a, const QString& b)
{
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            int endA = i;
            int endB = j;
            while (endA < a.size() && a.at(endA).isDigit())
                ++endA;
            while (endB < b.size() && b.at(endB).isDigit())
                ++endB;
            // Leading zeros do not count; then the longer number is the larger one.
            QStringView numA = QStringView(a).mid(i, endA - i);
            QStringView numB = QStringView(b).mid(j, endB - j);
            while (numA.size() > 1 && numA.front() == QLatin1Char('0'))
                numA = numA.mid(1);
            while (numB.size() > 1 && numB.front() == QLatin1Char('0'))
                numB = numB.mid(1);
            if (numA.size() != numB.size())
                return numA.size() < numB.size();
            if (const int c = numA.compare(numB); c != 0)
                return c < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

PortMapping PortMapping::Parse(const QString& value)
{
    const quenta::PortMapEntry entry = quenta::PortMapEntry::parse(value);
    PortMapping mapping;
    mapping.kind = entry.kind == quenta::PortMapEntry::Kind::Grbl     ? GrblDevice
                   : entry.kind == quenta::PortMapEntry::Kind::Serial ? KavroDevice
                                                                      : Simulator;
    mapping.device = entry.device;
    mapping.options = entry.options;
    return mapping;
}

QString PortMapping::Value() const
{
    quenta::PortMapEntry entry;
    entry.kind = kind == GrblDevice    ? quenta::PortMapEntry::Kind::Grbl
                 : kind == KavroDevice ? quenta::PortMapEntry::Kind::Serial
                                       : quenta::PortMapEntry::Kind::Simulator;
    entry.device = device;
    entry.options = options;
    return entry.value();
}

QStringList PortMapPorts()
{
    QStringList ports;
    for (int n = 1; n <= 8; ++n)
        ports << QStringLiteral("COM%1").arg(n);
    return ports;
}

QStringList FindSerialDevices(const QString& root)
{
    const QDir dev(QDir(root).filePath(QStringLiteral("dev")));
    QStringList found;
    const auto add = [&found](const QDir& dir, const QString& pattern) {
        // Device nodes count as system files; System also lists dangling links, which the
        // existence check drops.
        QStringList names =
            dir.entryList({pattern}, QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        std::sort(names.begin(), names.end(), NumberAwareLess);
        for (const QString& name : names) {
            const QString path = QDir::cleanPath(dir.filePath(name));
            if (QFileInfo::exists(path))
                found << path;
        }
    };
    add(QDir(dev.filePath(QStringLiteral("serial/by-id"))), QStringLiteral("*"));
    for (const char* pattern : {"ttyUSB*", "ttyACM*", "ttyS*"})
        add(dev, QString::fromLatin1(pattern));
    return found;
}

QString PortMapValue(const QString& port)
{
    return quenta::portMapValue(port);
}

PortMap ReadPortMap()
{
    PortMap map;
    for (const QString& port : PortMapPorts())
        map.values.insert(port, PortMapValue(port));
    return map;
}

void WritePortMap(const PortMap& changes)
{
    QSettings settings = quenta::linkSettings();
    for (auto it = changes.values.cbegin(); it != changes.values.cend(); ++it)
        quenta::setPortMapValue(settings, it.key(), it.value());
    settings.sync();
}

PortsDlg::PortsDlg(const PortMap& current, const QStringList& devices, QWidget* parent,
                   const QList<quenta::SerialAdapter>& adapters)
    : QDialog(parent), adapters(adapters)
{
    QStringList offered = devices;
    for (const quenta::SerialAdapter& a : adapters) {
        if (!a.identity().isEmpty() && !offered.contains(a.identity()))
            offered << a.identity();
    }
    setWindowTitle(tr("Ports"));
    statusLabel = new QLabel;
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    auto* const grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Port")), 0, 0);
    grid->addWidget(new QLabel(tr("Controller")), 0, 1);
    grid->addWidget(new QLabel(tr("Device")), 0, 2);

    const QIcon warningIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    for (const QString& port : PortMapPorts()) {
        Row row;
        row.port = port;
        row.original = PortMapping::Parse(current.values.value(port));

        row.kind = new QComboBox;
        row.kind->setObjectName(QStringLiteral("kind") + port);
        row.kind->addItem(tr("Built-in simulator"), int(PortMapping::Simulator));
        row.kind->addItem(tr("Kavro controller on a device"), int(PortMapping::KavroDevice));
        row.kind->addItem(tr("GRBL controller on a device"), int(PortMapping::GrblDevice));
        row.kind->setCurrentIndex(row.kind->findData(int(row.original.kind)));

        row.device = new QComboBox;
        row.device->setObjectName(QStringLiteral("device") + port);
        row.device->setEditable(true);
        row.device->setInsertPolicy(QComboBox::NoInsert);
        row.device->setMinimumContentsLength(28);
        row.device->addItems(offered);
        row.device->setCurrentText(row.original.device);
        row.device->lineEdit()->setPlaceholderText(tr("device path"));

        row.missingIcon = new QLabel;
        row.missingIcon->setPixmap(warningIcon.pixmap(iconSize, iconSize));
        row.missing = new QLabel(tr("device not found"));
        row.missing->setObjectName(QStringLiteral("missing") + port);
        auto* const missingBox = new QHBoxLayout;
        missingBox->addWidget(row.missingIcon);
        missingBox->addWidget(row.missing);
        missingBox->addStretch();

        const int line = grid->rowCount();
        grid->addWidget(new QLabel(port), line, 0);
        grid->addWidget(row.kind, line, 1);
        grid->addWidget(row.device, line, 2);
        grid->addLayout(missingBox, line, 3);
        rows.append(row);

        const int index = rows.size() - 1;
        const auto update = [this, index] { UpdateRow(rows.at(index)); };
        connect(row.kind, &QComboBox::currentIndexChanged, this, update);
        connect(row.device, &QComboBox::currentTextChanged, this, update);
        UpdateRow(row);
    }
    grid->setColumnStretch(2, 1);

    auto* const note = new QLabel(tr("Unmapped ports are served by the built-in simulator. "
                                     "A connected controller keeps its device until it is "
                                     "reconnected."));
    note->setObjectName(QStringLiteral("noteLabel"));
    note->setWordWrap(true);
    auto* const buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &PortsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PortsDlg::reject);

    // The serial devices as the system describes them.
    adapterTable = new QTableWidget(static_cast<int>(adapters.size()), 5, this);
    adapterTable->setObjectName(QStringLiteral("adapterTable"));
    adapterTable->setHorizontalHeaderLabels({tr("Device"), tr("Description"), tr("Manufacturer"),
                                             tr("VID:PID"), tr("Serial number")});
    adapterTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    adapterTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    adapterTable->setSelectionMode(QAbstractItemView::SingleSelection);
    adapterTable->verticalHeader()->hide();
    adapterTable->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < adapters.size(); ++i) {
        const quenta::SerialAdapter& a = adapters.at(i);
        const QString ids = a.hasIds ? QStringLiteral("%1:%2")
                                           .arg(a.vendorId, 4, 16, QLatin1Char('0'))
                                           .arg(a.productId, 4, 16, QLatin1Char('0'))
                                     : QString();
        const QStringList cells = {a.path, a.description, a.manufacturer, ids, a.serialNumber};
        for (int column = 0; column < cells.size(); ++column)
            adapterTable->setItem(i, column, new QTableWidgetItem(cells.at(column)));
    }
    adapterTable->resizeColumnsToContents();
    adapterTable->setMaximumHeight(adapterTable->horizontalHeader()->sizeHint().height()
                                   + 4 * adapterTable->verticalHeader()->defaultSectionSize() + 4);
    adapterPort = new QComboBox;
    adapterPort->setObjectName(QStringLiteral("adapterPort"));
    adapterPort->addItems(PortMapPorts());
    auto* const useButton = new QPushButton(tr("Use Adapter"));
    useButton->setObjectName(QStringLiteral("useAdapterButton"));
    detectButton = new QPushButton(tr("Detect"));
    detectButton->setObjectName(QStringLiteral("detectButton"));
    detectButton->setToolTip(tr("Asks the selected device for a GRBL controller's welcome"));
    connect(useButton, &QPushButton::clicked, this, &PortsDlg::UseAdapter);
    connect(detectButton, &QPushButton::clicked, this, &PortsDlg::DetectGrbl);
    auto* const adapterRow = new QHBoxLayout;
    adapterRow->addWidget(new QLabel(tr("Selected device for")));
    adapterRow->addWidget(adapterPort);
    adapterRow->addWidget(useButton);
    adapterRow->addWidget(detectButton);
    adapterRow->addStretch();

    auto* const layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(new QLabel(tr("Serial devices")));
    layout->addWidget(adapterTable);
    layout->addLayout(adapterRow);
    layout->addWidget(note);
    layout->addWidget(statusLabel);
    layout->addWidget(buttons);
}

PortMapping PortsDlg::Mapping(const Row& row) const
{
    PortMapping mapping;
    mapping.kind = PortMapping::Kind(row.kind->currentData().toInt());
    if (mapping.kind != PortMapping::Simulator)
        mapping.device = row.device->currentText().trimmed();
    // Fault options belong to the simulator the port had: they stay while it keeps it.
    mapping.options = row.original.options;
    return mapping;
}

void PortsDlg::UpdateRow(const Row& row)
{
    const PortMapping mapping = Mapping(row);
    const bool onDevice = mapping.kind != PortMapping::Simulator;
    row.device->setEnabled(onDevice);
    bool missing = false;
    if (onDevice && quenta::isAdapterIdentity(mapping.device)) {
        QString why;
        missing = quenta::resolveAdapter(mapping.device, adapters, why).isEmpty();
        row.missing->setText(tr("adapter not connected"));
    } else {
        missing = onDevice && !mapping.device.isEmpty() && !QFileInfo::exists(mapping.device);
        row.missing->setText(tr("device not found"));
    }
    row.missing->setVisible(missing);
    row.missingIcon->setVisible(missing);
    statusLabel->clear();
}

void PortsDlg::accept()
{
    PortMap changed;
    for (const Row& row : rows) {
        const PortMapping mapping = Mapping(row);
        if (mapping.kind != PortMapping::Simulator && mapping.device.isEmpty()) {
            statusLabel->setText(tr("Enter the device path for %1").arg(row.port));
            row.device->setFocus();
            return;
        }
        const bool same = mapping.kind == row.original.kind
                          && (mapping.kind == PortMapping::Simulator
                              || mapping.device == row.original.device);
        if (!same)
            changed.values.insert(row.port, mapping.Value());
    }
    changes = changed;
    QDialog::accept();
}

QString PortsDlg::SelectedAdapterDevice() const
{
    const int i = adapterTable->currentRow();
    if (i < 0 || i >= adapters.size() || adapterTable->selectedItems().isEmpty())
        return {};
    const quenta::SerialAdapter& a = adapters.at(i);
    return a.identity().isEmpty() ? a.path : a.identity();
}

PortsDlg::Row* PortsDlg::ChosenRow()
{
    for (Row& row : rows) {
        if (row.port == adapterPort->currentText())
            return &row;
    }
    return nullptr;
}

void PortsDlg::UseAdapter()
{
    Row* const row = ChosenRow();
    const QString device = SelectedAdapterDevice();
    if (!row || device.isEmpty()) {
        statusLabel->setText(tr("Select a device in the list first"));
        return;
    }
    if (row->kind->currentData().toInt() == int(PortMapping::Simulator))
        row->kind->setCurrentIndex(row->kind->findData(int(PortMapping::KavroDevice)));
    row->device->setCurrentText(device);
}

void PortsDlg::DetectGrbl()
{
    const int i = adapterTable->currentRow();
    if (i < 0 || i >= adapters.size() || adapterTable->selectedItems().isEmpty()) {
        statusLabel->setText(tr("Select a device in the list first"));
        return;
    }
    const std::string path = adapters.at(i).path.toStdString();
    const QString device = SelectedAdapterDevice();
    const QString port = adapterPort->currentText();
    statusLabel->setText(tr("Asking %1 for a GRBL controller...").arg(adapters.at(i).path));
    detectButton->setEnabled(false);
    // The dialog's own cursor: it goes with the dialog if the operator closes it meanwhile.
    setCursor(Qt::BusyCursor);
    struct Probe {
        bool grbl = false;
        std::string what;
    };
    auto* const watcher = new QFutureWatcher<Probe>(this);
    connect(watcher, &QFutureWatcher<Probe>::finished, this, [this, watcher, device, port] {
        const Probe probe = watcher->result();
        watcher->deleteLater();
        unsetCursor();
        detectButton->setEnabled(true);
        const QString what = QString::fromStdString(probe.what);
        if (probe.grbl) {
            for (Row& row : rows) {
                if (row.port != port)
                    continue;
                row.kind->setCurrentIndex(row.kind->findData(int(PortMapping::GrblDevice)));
                row.device->setCurrentText(device);
            }
            statusLabel->setText(tr("%1 answers: %2. %3 is mapped to it.").arg(device, what, port));
        } else {
            statusLabel->setText(tr("No GRBL controller on %1: %2").arg(device, what));
        }
        Q_EMIT DetectionFinished(probe.grbl);
    });
    // The probe is bounded by the GRBL device's own wait for a welcome (a few seconds).
    watcher->setFuture(QtConcurrent::run([path] {
        Probe p;
        p.grbl = quenta::probeGrbl(path, 115200, p.what);
        return p;
    }));
}
