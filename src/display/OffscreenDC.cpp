#include "display/OffscreenDC.h"

#include <QPagedPaintDevice>

COffscreenDC::COffscreenDC(QPainter& target, const QRect& rect, bool blitBack, QImage* spare)
    : m_pSpare(spare)
    , m_pTarget(&target)
    , m_pPainter(&target)
{
    Open(rect, blitBack);
}

COffscreenDC::COffscreenDC(QPainter& target, bool blitBack)
    : m_pTarget(&target)
    , m_pPainter(&target)
{
    Open(ClipBox(target), blitBack);
}

bool COffscreenDC::IsPrinting(const QPainter& target)
{
    return dynamic_cast<const QPagedPaintDevice*>(target.device()) != nullptr;
}

QRect COffscreenDC::ClipBox(const QPainter& target)
{
    if (target.hasClipping())
        return target.clipBoundingRect().toAlignedRect();
    const QPaintDevice* device = target.device();
    if (!device)
        return {};
    return target.worldTransform().inverted().mapRect(
        QRect(0, 0, device->width(), device->height()));
}

void COffscreenDC::Open(const QRect& rect, bool blitBack)
{
    m_rect = rect.normalized();
    m_bPassThrough = IsPrinting(*m_pTarget) ? 1 : 0;
    m_bBlitBack = blitBack ? 1 : 0;
    if (m_bPassThrough || m_rect.isEmpty())
        return;

    // Match the target's pixel density so text and lines stay sharp on scaled screens, and
    // its alpha, so an image target with alpha keeps it.
    const QPaintDevice* device = m_pTarget->device();
    const qreal ratio = device ? device->devicePixelRatioF() : 1.0;
    QImage::Format format = QImage::Format_RGB32;
    if (device && device->devType() == QInternal::Image
        && static_cast<const QImage*>(device)->hasAlphaChannel())
        format = QImage::Format_ARGB32_Premultiplied;
    const QSize size = m_rect.size() * ratio;
    if (m_pSpare && m_pSpare->size() == size && m_pSpare->format() == format
        && m_pSpare->devicePixelRatio() == ratio)
        m_bitmap.swap(*m_pSpare);
    else
        m_bitmap = QImage(size, format);
    if (m_bitmap.isNull())
        return; // drawing then goes nowhere; the target keeps what it had
    m_bitmap.setDevicePixelRatio(ratio);
    if (!m_memory.begin(&m_bitmap))
        return;
    m_memory.translate(-m_rect.left(), -m_rect.top());
    m_pPainter = &m_memory;
}

void COffscreenDC::BlitBack()
{
    if (m_bPassThrough || !m_pTarget || !m_pTarget->isActive() || m_bitmap.isNull())
        return;
    m_pTarget->save();
    m_pTarget->setCompositionMode(QPainter::CompositionMode_Source);
    m_pTarget->drawImage(m_rect.topLeft(), m_bitmap);
    m_pTarget->restore();
}

COffscreenDC::~COffscreenDC()
{
    if (m_bPassThrough)
        return; // the target's painter is the target's; nothing here to end or free
    if (m_memory.isActive())
        m_memory.end();
    if (m_bBlitBack)
        BlitBack();
    if (m_pSpare && !m_bitmap.isNull())
        m_pSpare->swap(m_bitmap);
}
