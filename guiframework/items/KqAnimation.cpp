#include "KqAnimation.h"

#include "KqGraphicsItem.h"
#include "KqTimer.h"

#include <cmath>

KQ_DEFINE_CLASS(KqAbstractAnimation, KqRttiObject, 'AANN', nullptr)
KQ_DEFINE_CLASS(KqVariantAnimation, KqAbstractAnimation, 'VANN', nullptr)
KQ_DEFINE_CLASS(KqPropertyAnimation, KqVariantAnimation, 'PPAN', &kqMakeInstance<KqPropertyAnimation>)

// ---- easing

namespace {
double linear(double t) { return t; }
double inQuad(double t) { return t * t; }
double outQuad(double t) { return -t * (t - 2); }
double inOutQuad(double t)
{
    double a = 2 * t;
    return a < 1 ? a * a / 2 : -((a - 1) * (a - 3) - 1) / 2;
}
double outInQuad(double t)
{
    double a = 2 * t;
    return t < 0.5 ? -a * (a - 2) / 2 : (a - 1) * (a - 1) / 2 + 0.5;
}

KqEasingCurve::Function formula(int type)
{
    switch (type) {
    case 0: return &linear;
    case 1: return &inQuad;
    case 2: return &outQuad;
    case 3: return &inOutQuad;
    case 4: return &outInQuad;
    default: return nullptr;
    }
}
} // namespace

void KqEasingCurve::setType(int type)
{
    if (type == m_type)
        return;
    bool hadParameters = m_hasParameters;
    m_type = type;
    if (type >= 29 && type <= 40) {
        m_hasParameters = true;
        m_parameters.subtype = (type - 29) % 4;
        m_function = nullptr;
        return;
    }
    // A formula type always gets its formula, parameters or not.
    m_hasParameters = hadParameters && !formula(type) && type != Custom;
    if (type != Custom)
        m_function = formula(type);
}

double KqEasingCurve::valueForProgress(double t) const
{
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return m_function ? m_function(t) : t;
}

// ---- abstract animation

KqAbstractAnimation::~KqAbstractAnimation()
{
    // A deleted animation must not stay in its item's list or the driver's.
    if (m_registered)
        KqAnimationDriver::instance()->unregisterAnimation(this);
    if (m_targetItem)
        m_targetItem->removeAnimation(this);
}

int32_t KqAbstractAnimation::totalDuration() const
{
    if (m_duration > 0)
        return m_loopCount >= 0 ? m_duration * m_loopCount : -1;
    return m_duration;
}

void KqAbstractAnimation::start(int policy)
{
    if (m_state == Running)
        return;
    m_deleteWhenStopped = policy == DeleteWhenStopped;
    setState(Running);
}

void KqAbstractAnimation::setState(int newState)
{
    if (newState == m_state || m_loopCount == 0)
        return;
    int oldState = m_state;
    if (oldState == Stopped) {
        if (m_direction == Forward) {
            m_totalCurrentTime = m_currentTime = 0;
        } else {
            int32_t end = m_loopCount < 0 ? m_duration : totalDuration();
            m_totalCurrentTime = m_currentTime = end;
        }
    }
    m_state = newState;
    if (oldState == Running)
        KqAnimationDriver::instance()->unregisterAnimation(this);
    if (newState == Running)
        KqAnimationDriver::instance()->registerAnimation(this);
    KqWeakPointer self(this);
    updateState(newState, oldState);
    if (!self.get())
        return;
    if (m_state == newState) {
        if (newState == Stopped && m_deleteWhenStopped)
            KqDeferredDeleter::instance()->append(this);
        else if (newState == Running && oldState == Stopped)
            setCurrentTime(m_totalCurrentTime);
    }
}

void KqAbstractAnimation::setCurrentTime(int32_t ms)
{
    if (ms < 0)
        ms = 0;
    int32_t total = totalDuration();
    if (total != -1 && ms > total)
        ms = total;
    m_totalCurrentTime = ms;
    m_currentLoop = m_duration > 0 ? ms / m_duration : 0;
    if (m_currentLoop == m_loopCount) {
        m_currentTime = m_duration > 0 ? m_duration : 0;
        m_currentLoop = m_loopCount - 1 > 0 ? m_loopCount - 1 : 0;
    } else if (m_direction == Backward) {
        if (m_duration > 0) {
            m_currentTime = (ms - 1) % m_duration + 1;
            if (m_currentTime == m_duration)
                --m_currentLoop;
        }
    } else if (m_duration > 0) {
        m_currentTime = ms % m_duration;
    }
    KqWeakPointer self(this);
    updateCurrentTime(m_currentTime);
    if (!self.get())
        return;
    if ((m_direction == Forward && m_totalCurrentTime == total) || (m_direction == Backward && m_totalCurrentTime == 0))
        stop();
}

void KqAbstractAnimation::setTargetObject(KqGraphicsItem* item)
{
    if (item == m_targetItem)
        return;
    if (m_targetItem)
        m_targetItem->removeAnimation(this);
    m_targetItem = nullptr;
    if (item)
        item->addAnimation(this);
}

void KqAbstractAnimation::detachedFromItem(KqGraphicsItem* item)
{
    targetItemRemoved(item);
    if (m_targetItem == item)
        m_targetItem = nullptr;
}

// ---- variant animation

namespace {
template <class T> T mix(T from, T to, double p) { return static_cast<T>((1 - p) * double(from) + p * double(to)); }

KqVariant mixInt(const KqVariant& a, const KqVariant& b, double p) { return KqVariant(mix<int32_t>(a.toInt(), b.toInt(), p)); }
KqVariant mixUInt(const KqVariant& a, const KqVariant& b, double p) { return KqVariant(mix<uint32_t>(a.toUInt(), b.toUInt(), p)); }
KqVariant mixDouble(const KqVariant& a, const KqVariant& b, double p) { return KqVariant((1 - p) * a.toDouble() + p * b.toDouble()); }
KqVariant mixFloat(const KqVariant& a, const KqVariant& b, double p)
{
    return KqVariant(static_cast<float>((1 - p) * a.toFloat() + p * b.toFloat()));
}
KqVariant mixLongLong(const KqVariant& a, const KqVariant& b, double p)
{
    return KqVariant(static_cast<long long>((1 - p) * double(a.asLongLong()) + p * double(b.asLongLong())));
}
KqVariant mixULongLong(const KqVariant& a, const KqVariant& b, double p)
{
    return KqVariant(static_cast<unsigned long long>((1 - p) * double(a.asULongLong()) + p * double(b.asULongLong())));
}
KqVariant mixRectF(const KqVariant& a, const KqVariant& b, double p)
{
    KqRectF x = a.toRectF(), y = b.toRectF();
    return KqVariant(KqRectF((1 - p) * x.x + p * y.x, (1 - p) * x.y + p * y.y, (1 - p) * x.width + p * y.width,
                             (1 - p) * x.height + p * y.height));
}
KqVariant mixRect(const KqVariant& a, const KqVariant& b, double p)
{
    KqRect x = a.toRect(), y = b.toRect();
    auto m = [p](double u, double v) { return static_cast<int32_t>((1 - p) * u + p * v); };
    return KqVariant(KqRect(m(x.left, y.left), m(x.top, y.top), m(double(x.right) - x.left + 1, double(y.right) - y.left + 1),
                            m(double(x.bottom) - x.top + 1, double(y.bottom) - y.top + 1)));
}
KqVariant mixPointF(const KqVariant& a, const KqVariant& b, double p)
{
    KqPointF x = a.toPointF(), y = b.toPointF();
    return KqVariant(KqPointF((1 - p) * x.x + p * y.x, (1 - p) * x.y + p * y.y));
}
KqVariant mixPoint(const KqVariant& a, const KqVariant& b, double p)
{
    KqPoint x = a.toPoint(), y = b.toPoint();
    return KqVariant(KqPoint(roundHalfUp((1 - p) * x.x + p * y.x), roundHalfUp((1 - p) * x.y + p * y.y)));
}
KqVariant mixSizeF(const KqVariant& a, const KqVariant& b, double p)
{
    KqSizeF x = a.toSizeF(), y = b.toSizeF();
    return KqVariant(KqSizeF{(1 - p) * x.width + p * y.width, (1 - p) * x.height + p * y.height});
}
KqVariant mixSize(const KqVariant& a, const KqVariant& b, double p)
{
    KqSize x = a.toSize(), y = b.toSize();
    return KqVariant(KqSize{roundHalfUp((1 - p) * x.width + p * y.width), roundHalfUp((1 - p) * x.height + p * y.height)});
}
KqVariant mixNothing(const KqVariant&, const KqVariant&, double) { return KqVariant(); }

KqVariantAnimation::Interpolator interpolatorFor(int kind)
{
    switch (kind) {
    case KqVariant::Int: return &mixInt;
    case KqVariant::UInt: return &mixUInt;
    case KqVariant::Double: return &mixDouble;
    case KqVariant::Float: return &mixFloat;
    case KqVariant::LongLong: return &mixLongLong;
    case KqVariant::ULongLong: return &mixULongLong;
    case KqVariant::RectF: return &mixRectF;
    case KqVariant::Rect: return &mixRect;
    case KqVariant::PointF: return &mixPointF;
    case KqVariant::Point: return &mixPoint;
    case KqVariant::SizeF: return &mixSizeF;
    case KqVariant::Size: return &mixSize;
    default: return &mixNothing;
    }
}

bool hasKind(const KqVariant& v) { return v.kind() != KqVariant::None; }
} // namespace

KqVariant KqVariantAnimation::interpolated(const KqVariant& from, const KqVariant& to, double progress) const
{
    return (m_interpolator ? m_interpolator : &mixNothing)(from, to, progress);
}

void KqVariantAnimation::updateCurrentTime(int32_t) { recalculateCurrentInterval(false); }

void KqVariantAnimation::setKeyValueAt(double progress, const KqVariant& value)
{
    if (progress < 0 || progress > 1)
        return;
    int at = 0;
    while (at < m_keyValues.count() && m_keyValues.at(at).progress < progress)
        ++at;
    if (at < m_keyValues.count() && m_keyValues.at(at).progress == progress) {
        if (hasKind(value))
            m_keyValues[at].value = value;
        else
            m_keyValues.removeAt(at);
    } else {
        m_keyValues.insert(at, KeyValue{progress, value});
    }
    recalculateCurrentInterval(true);
}

void KqVariantAnimation::recalculateCurrentInterval(bool force)
{
    const int count = m_keyValues.count();
    if (count < 1 || (count < 2 && !hasKind(m_defaultStartValue)))
        return;
    double progress = m_duration == 0 ? 1.0 : double(currentTime()) / m_duration;
    double eased = m_easing.valueForProgress(progress);
    if (force || (eased < m_intervalStart.progress && m_intervalStart.progress > 0) ||
        (eased > m_intervalEnd.progress && m_intervalEnd.progress < 1)) {
        int found = 0;
        while (found < count && m_keyValues.at(found).progress < eased)
            ++found;
        if (found == 0) {
            const KeyValue& first = m_keyValues.at(0);
            if (first.progress != 0 || count == 1) {
                m_intervalStart = KeyValue{0.0, m_defaultStartValue};
                m_intervalEnd = first;
            } else {
                m_intervalStart = first;
                m_intervalEnd = m_keyValues.at(1);
            }
        } else if (found == count) {
            const KeyValue& last = m_keyValues.at(count - 1);
            if (last.progress == 1.0 && count >= 2) {
                m_intervalStart = m_keyValues.at(count - 2);
                m_intervalEnd = last;
            } else {
                m_intervalStart = last;
                m_intervalEnd = KeyValue{1.0, m_defaultStartValue};
            }
        } else {
            m_intervalStart = m_keyValues.at(found - 1);
            m_intervalEnd = m_keyValues.at(found);
        }
        int kind = m_intervalStart.value.kind();
        m_interpolator = kind == m_intervalEnd.value.kind() ? interpolatorFor(kind) : &mixNothing;
    }
    double span = m_intervalEnd.progress - m_intervalStart.progress;
    // A zero-length interval (a lone key value at 0) would divide 0 by 0.
    double local = span > 0 ? (eased - m_intervalStart.progress) / span : 1.0;
    m_currentValue = interpolated(m_intervalStart.value, m_intervalEnd.value, local);
    updateCurrentValue(m_currentValue);
}

// ---- property animation

KqGraphicsItem* KqPropertyAnimation::target() const { return static_cast<KqGraphicsItem*>(m_target.get()); }

void KqPropertyAnimation::setTargetItem(KqGraphicsItem* item)
{
    KqVariantAnimation::setTargetItem(item);
    m_target = KqWeakPointer(kq_cast<KqGraphicsItem>(static_cast<KqRttiObject*>(item)));
}

void KqPropertyAnimation::targetItemRemoved(KqGraphicsItem* item)
{
    if (target() == item)
        m_target = KqWeakPointer();
}

void KqPropertyAnimation::updateCurrentValue(const KqVariant& value)
{
    if (KqGraphicsItem* item = target())
        item->setProperty(m_propertyName, value);
}

// ---- driver

KqAnimationDriver* KqAnimationDriver::instance() { return KqSingleton<KqAnimationDriver>::instance(); }

KqAnimationDriver::KqAnimationDriver() : m_tickTimer(new KqTimer), m_startTimer(new KqTimer)
{
    m_tickTimer->timeout.connect(this, &KqAnimationDriver::advance);
    m_startTimer->timeout.connect(this, &KqAnimationDriver::startPending);
}

KqAnimationDriver::~KqAnimationDriver()
{
    m_tickTimer->timeout.clear();
    m_startTimer->timeout.clear();
    KqVector<KqAbstractAnimation*> all = m_running;
    for (int i = 0; i < m_waiting.count(); ++i)
        all.append(m_waiting.at(i));
    m_running.clear();
    m_waiting.clear();
    for (int i = 0; i < all.count(); ++i)
        all.at(i)->setRegisteredWithDriver(false);
    delete m_tickTimer;
    delete m_startTimer;
}

void KqAnimationDriver::registerAnimation(KqAbstractAnimation* animation)
{
    animation->setRegisteredWithDriver(true);
    m_waiting.append(animation);
    if (!m_startTimer->isActive())
        m_startTimer->start(16);
}

void KqAnimationDriver::unregisterAnimation(KqAbstractAnimation* animation)
{
    if (!animation->isRegisteredWithDriver())
        return;
    int at = m_running.indexOf(animation);
    if (at != -1) {
        m_running.removeAt(at);
        if (m_advancing >= at)
            --m_advancing;
        if (m_running.count() == 0 && !m_startTimer->isActive())
            m_startTimer->start(16);
    } else {
        m_waiting.removeOne(animation);
    }
    animation->setRegisteredWithDriver(false);
}

void KqAnimationDriver::startPending()
{
    m_startTimer->stop();
    for (int i = 0; i < m_waiting.count(); ++i)
        m_running.append(m_waiting.at(i));
    m_waiting.clear();
    if (m_running.count()) {
        if (!m_tickTimer->isActive())
            m_tickTimer->start(16);
        if (!m_clock.isValid()) {
            m_lastTick = 0;
            m_clock.start();
        }
    } else {
        m_tickTimer->stop();
        m_clock.invalidate();
    }
}

void KqAnimationDriver::advance()
{
    if (!m_clock.isValid())
        return;
    int64_t now = m_clock.elapsed();
    int64_t delta = now - m_lastTick;
    m_lastTick = now;
    if (delta == 0)
        return;
    for (m_advancing = 0; m_advancing < m_running.count(); ++m_advancing) {
        KqAbstractAnimation* animation = m_running.at(m_advancing);
        int32_t step = static_cast<int32_t>(delta);
        animation->setCurrentTime(animation->totalCurrentTime() + (animation->direction() == KqAbstractAnimation::Forward ? step : -step));
    }
    m_advancing = -1;
}
