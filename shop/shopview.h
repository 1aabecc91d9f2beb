#pragma once
// The shop: one tile per registered controller with its name and port, whether it is
// connected, the machine's state in colour, its job's name, progress and time left, its
// position and a pending error or alarm in words. A click on a tile makes that controller the
// active one. Tiles follow the controllers' status reports, redrawn at most four times a
// second, so many machines reporting fast cost the window little.

#include "shopstate.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QFrame>
#include <QWidget>

#include <functional>

class QGridLayout;
class QLabel;
class QProgressBar;
class QTimer;
class TarvoController;

// What the window knows of a port's job beyond the link library: the file's name and the time
// left (negative when unknown).
struct ShopJobInfo {
    QString name;
    double secondsLeft = -1;
};

class ShopTile : public QFrame {
    Q_OBJECT
public:
    explicit ShopTile(const QString& comPort, QWidget* parent = nullptr);
    QString comPort() const { return port; }
    const MachineState& state() const { return shown; }
    void setActive(bool active);
    void display(const QString& name, const MachineState& state, const quenta::JobProgress& job,
              const ShopJobInfo& info, const QString& position);

Q_SIGNALS:
    void clicked(QString comPort);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString port;
    MachineState shown;
    QLabel* title = nullptr;
    QLabel* banner = nullptr;
    QLabel* jobName = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* position = nullptr;
    QLabel* detail = nullptr;
};

class ShopView : public QWidget {
    Q_OBJECT
public:
    explicit ShopView(QWidget* parent = nullptr);

    void setJobInfo(std::function<ShopJobInfo(const QString& comPort)> provider);
    ShopTile* tile(const QString& comPort) const { return tiles.value(comPort); }

    // Every connected controller whose job is active (Stop), running (Hold) or held (Resume)
    // gets the command; the ports that took it.
    QStringList holdAll();
    QStringList resumeAll();
    QStringList stopAll();

public Q_SLOTS:
    // Tiles for every registered controller, in port order.
    void rebuild();
    // A controller reported: its tile is redrawn soon.
    void controllerUpdated(const QString& comPort);
    void activeChanged(const QString& comPort);
    // Redraws every tile now.
    void refreshAll();

Q_SIGNALS:
    void activateRequested(QString comPort);
    // Once per event: a machine now waits with an error or alarm (text in words), and when it
    // no longer does.
    void attentionNeeded(QString comPort, QString text);
    void attentionCleared(QString comPort);

private:
    void refresh(const QString& comPort);
    QStringList control(quenta::JobControl what, bool (*applies)(quenta::JobState));

    QGridLayout* grid = nullptr;
    QHash<QString, ShopTile*> tiles;
    QHash<QString, bool> attention;
    QStringList dirty;
    QTimer* redraw = nullptr;
    QTimer* jobTick = nullptr;
    QString active;
    std::function<ShopJobInfo(const QString&)> jobInfo;
};
