#include "ui/recovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

namespace {
const QByteArray magic = "calculus-study unrecorded answer 1\n";
}

AnswerRecovery::AnswerRecovery(const QString &path, QObject *parent) : QObject(parent), m_path(path)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] { keepNow(m_latest); });
}

QString AnswerRecovery::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/calculus-study/unrecorded-answer.txt");
}

void AnswerRecovery::textChanged(const QString &text)
{
    m_latest = text;
    m_timer.start();
}

void AnswerRecovery::keepNow(const QString &text)
{
    m_timer.stop();
    m_latest = text;
    if (text.isEmpty() || m_ignored.contains(text)) {
        discard();
        return;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    // QSaveFile writes a new file, syncs it and renames it over the old one:
    // a crash leaves either the old text or the new, never half of one.
    if (!file.open(QIODevice::WriteOnly)) {
        fail(file.errorString());
        return;
    }
    file.write(magic);
    file.write(QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\n');
    file.write(text.toUtf8());
    if (!file.commit())
        fail(file.errorString());
}

void AnswerRecovery::discard()
{
    m_timer.stop();
    m_latest.clear();
    if (QFileInfo::exists(m_path) && !QFile::remove(m_path))
        fail(QStringLiteral("it cannot be removed"));
}

bool AnswerRecovery::takeLeftOver(QString &text, QDateTime &typed)
{
    QFile file(m_path);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        fail(file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const qsizetype dateEnd = bytes.indexOf('\n', magic.size());
    QStringDecoder utf8(QStringDecoder::Utf8);
    if (bytes.startsWith(magic) && dateEnd > 0) {
        typed = QDateTime::fromString(QString::fromLatin1(bytes.mid(magic.size(), dateEnd - magic.size())),
                                      Qt::ISODate);
        text = utf8.decode(bytes.mid(dateEnd + 1));
        if (typed.isValid() && !utf8.hasError() && !text.isEmpty())
            return true;
    }
    // Not something this program wrote whole: set it aside for a person to look at.
    const QString aside = m_path + QStringLiteral(".unreadable-")
                          + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!QFile::rename(m_path, aside))
        QFile::remove(m_path);
    return false;
}

void AnswerRecovery::fail(const QString &what)
{
    if (!m_problem.isEmpty() || m_problemShown)
        return;
    m_problem = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), what);
    emit problemFound();
}

QString AnswerRecovery::takeProblem()
{
    if (m_problemShown || m_problem.isEmpty())
        return QString();
    m_problemShown = true;
    return m_problem;
}
