#include "benchplatform.h"

QString BenchPlatform::inputBox(const QString &)
{
    return answers.isEmpty() ? laterAnswer : answers.takeFirst();
}

QDateTime BenchPlatform::now()
{
    // A fixed moment keeps the SEND file name and every record the same in each repetition.
    return QDateTime(QDate(2026, 3, 6), QTime(14, 5, 9));
}

float BenchPlatform::random()
{
    m_lcg = m_lcg * 1664525u + 1013904223u;
    return float(m_lcg >> 8) / 16777216.0f;
}
