#pragma once

// What varrow-tiles counted of its clients (GET /stats): requests, the most
// at once, distinct URLs, connections and the last User-Agent.

#include "tiles/NetLib.h"

#include <QString>

#include <map>
#include <string>

namespace varrow::test {

struct TFixtureStats {
    int Requests = 0;
    int Peak = 0;
    int Distinct = 0;
    int Connections = 0;
    QString Agent;
};

inline TFixtureStats FixtureStats(const QString& base) {
    TIdHTTPEx client;
    client.GetBody(base + QStringLiteral("/stats"));
    std::map<QString, QString> values;
    for (const QString& line : QString::fromUtf8(client.Body).split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0) values[line.left(eq)] = line.mid(eq + 1);
    }
    TFixtureStats s;
    s.Requests = values[QStringLiteral("requests")].toInt();
    s.Peak = values[QStringLiteral("peak")].toInt();
    s.Distinct = values[QStringLiteral("distinct")].toInt();
    s.Connections = values[QStringLiteral("connections")].toInt();
    s.Agent = values[QStringLiteral("agent")];
    return s;
}

} // namespace varrow::test
