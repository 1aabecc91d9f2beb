// The program's parameter table against the link library's rules, key by key: a value the
// program accepts (file, dialog) is one the controller accepts, and both start from the same
// factory values, so a transfer never meets a 0x71 the program could have prevented.

#include "parameterrules.h"
#include "parametertable.h"

#include <QtTest>

using Type = ParameterTable::Type;
using Kind = quenta::Device::ParamKind;

class TestParameterRanges : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyTransferredKeyHasTheSameRangeKindAndDefault();
};

void TestParameterRanges::everyTransferredKeyHasTheSameRangeKindAndDefault()
{
    int compared = 0;
    for (const ParameterTable::Row* row = ParameterTable::begin(); row != ParameterTable::end();
         ++row) {
        const QByteArray key = QByteArray::number(row->key, 16);
        const quenta::ParameterRule* rule = quenta::FindParameterRule(uint16_t(row->key));
        if (row->type == Type::Unused) {
            QVERIFY2(!rule, key.constData());  // never transferred
            continue;
        }
        QVERIFY2(rule, key.constData());
        ++compared;
        switch (row->type) {
        case Type::Long: QCOMPARE(rule->kind, Kind::Long); break;
        case Type::Float: QCOMPARE(rule->kind, Kind::Float); break;
        case Type::LongArray: QCOMPARE(rule->kind, Kind::FourLongs); break;
        case Type::UcharArray: QCOMPARE(rule->kind, Kind::FourUchar); break;
        case Type::RefSequence: QCOMPARE(rule->kind, Kind::RefSequence); continue;
        case Type::Name: QCOMPARE(rule->kind, Kind::Name); continue;
        case Type::Unused: break;
        }
        QVERIFY2(row->min == rule->lo && row->max == rule->hi, key.constData());
        const int entries = row->type == Type::LongArray || row->type == Type::UcharArray ? 4 : 1;
        for (int i = 0; i < entries; ++i)
            QVERIFY2(qFuzzyCompare(1.0 + row->defaults[i], 1.0 + rule->def[i]), key.constData());
    }
    QCOMPARE(compared, int(quenta::ParameterRules().size()));
}

QTEST_GUILESS_MAIN(TestParameterRanges)
#include "tst_parameterranges.moc"
