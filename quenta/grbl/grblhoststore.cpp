#include "grblhoststore.h"

#include "parameterrules.h"
#include "portmap.h"

#include <QSettings>
#include <QString>
#include <QStringList>

#include <cstring>

namespace quenta {
namespace grbl {

namespace {

using Kind = Device::ParamKind;
using ParamValue = Device::ParamValue;

std::map<uint16_t, ParamValue> factoryValues()
{
    std::map<uint16_t, ParamValue> values;
    for (const ParameterRule& rule : ParameterRules())
        values[rule.key] = DefaultParameterValue(rule);
    return values;
}

class SettingsStore : public HostParameterStore {
public:
    explicit SettingsStore(std::string p) : group(QStringLiteral("grbl/") + QString::fromStdString(p)) {}

    std::map<uint16_t, ParamValue> load() override
    {
        std::map<uint16_t, ParamValue> values = factoryValues();
        QSettings store = linkSettings();
        store.beginGroup(group);
        for (const ParameterRule& rule : ParameterRules()) {
            const QString name = QString::asprintf("%04X", rule.key);
            if (!store.contains(name))
                continue;
            ParamValue& v = values[rule.key];
            const QStringList saved = store.value(name).toStringList();
            if (rule.kind == Kind::Name) {
                const QByteArray text = store.value(name).toString().toLatin1().left(16);
                std::memset(v.name, 0, sizeof v.name);
                std::memcpy(v.name, text.constData(), size_t(text.size()));
            } else if (rule.kind == Kind::Float && saved.size() == 1) {
                v.f = saved[0].toFloat();
            } else {
                for (int i = 0; i < std::min<int>(8, int(saved.size())); ++i)
                    v.longs[i] = saved[i].toInt();
            }
        }
        return values;
    }

    void save(uint16_t key, const ParamValue& v) override
    {
        const ParameterRule* const rule = FindParameterRule(key);
        if (!rule)
            return;
        QSettings store = linkSettings();
        store.beginGroup(group);
        const QString name = QString::asprintf("%04X", key);
        QStringList values;
        int count = 1;
        switch (rule->kind) {
        case Kind::Name:
            store.setValue(name,
                           QString::fromLatin1(v.name, int(strnlen(v.name, sizeof v.name))));
            return;
        case Kind::Float:
            store.setValue(name, QStringList{QString::number(double(v.f), 'g', 9)});
            return;
        case Kind::Long: count = 1; break;
        case Kind::FourLongs:
        case Kind::FourUchar: count = 4; break;
        case Kind::RefSequence: count = 8; break;
        }
        for (int i = 0; i < count; ++i)
            values << QString::number(v.longs[i]);
        store.setValue(name, values);
    }

private:
    const QString group;
};

}  // namespace

std::unique_ptr<HostParameterStore> settingsParameterStore(const std::string& port)
{
    return std::make_unique<SettingsStore>(port);
}

}  // namespace grbl
}  // namespace quenta
