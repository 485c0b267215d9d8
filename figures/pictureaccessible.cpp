#include "figures/pictureaccessible.h"

#include "figures/picturearea.h"

#include <QAccessibleWidget>

namespace {

/// A picture area as a screen reader sees it: an image whose description
/// says what is drawn on it now.
class PictureAccessible : public QAccessibleWidget
{
public:
    explicit PictureAccessible(PictureArea *area) : QAccessibleWidget(area, QAccessible::Graphic) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description)
            return PictureDescription::of(static_cast<PictureArea *>(widget()))->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *pictureFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("PictureArea"))
        if (auto *area = qobject_cast<PictureArea *>(object))
            return new PictureAccessible(area);
    return nullptr;
}

} // namespace

void installPictureAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(pictureFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

PictureDescription::PictureDescription(PictureArea *area) : QObject(area), m_area(area)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(1000);
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        if (!m_unannounced)
            return;
        announce();
        m_quiet.start();
    });
}

PictureDescription *PictureDescription::of(PictureArea *area)
{
    auto *description = area->findChild<PictureDescription *>(QString(), Qt::FindDirectChildrenOnly);
    return description ? description : new PictureDescription(area);
}

void PictureDescription::addFigure(const QString &what, Drawn drawn)
{
    if (drawn == alone)
        m_figures.clear();
    m_figures.append(what);
    m_timerCircles = 0;
    changed(Pace::now);
}

void PictureDescription::addTimerCircle()
{
    ++m_timerCircles;
    const QString entry = m_timerCircles == 1 ? QStringLiteral("1 circle drawn by the timer")
                                              : QStringLiteral("%1 circles drawn by the timer").arg(m_timerCircles);
    if (m_timerCircles == 1)
        m_figures.append(entry);
    else
        m_figures.last() = entry;
    changed(Pace::throttled);
}

QString PictureDescription::text() const
{
    return m_figures.isEmpty() ? QStringLiteral("empty") : m_figures.join(QStringLiteral(", then "));
}

void PictureDescription::changed(Pace pace)
{
    // The timer draws a circle every 15 ms; announcing each would flood a
    // screen reader, so its circles are announced at most once a second and
    // the last count is announced when it stops or a figure follows.
    if (pace == Pace::throttled && m_quiet.isActive()) {
        m_unannounced = true;
        return;
    }
    if (pace == Pace::throttled)
        m_quiet.start();
    else
        m_quiet.stop();
    announce();
}

void PictureDescription::announce()
{
    m_unannounced = false;
    QAccessibleEvent event(m_area, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
    emit announced();
}
