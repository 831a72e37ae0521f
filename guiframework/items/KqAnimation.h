// Animations: timing and loops, key values with an easing curve and
// interpolation of variants, writing into a named item property; one driver
// advances every running animation on a 16 ms timer.
#pragma once

#include "KqClassInfo.h"
#include "KqContainers.h"
#include "KqObject.h"
#include "KqServices.h"
#include "KqSignal.h"
#include "KqVariant.h"

#include <cstdint>

class KqGraphicsItem;
class KqTimer;

class KqEasingCurve {
public:
    enum Type { Linear = 0, InQuad = 1, OutQuad = 2, InOutQuad = 3, OutInQuad = 4, Custom = 45 };
    typedef double (*Function)(double);
    struct Parameters {
        int subtype = 0;
        double period = 0.3, amplitude = 1.0, overshoot = 1.70158;
    };

    explicit KqEasingCurve(int type = Linear) { setType(type); }
    KqEasingCurve(const KqEasingCurve& o) : m_type(o.m_type), m_function(o.m_function), m_hasParameters(o.m_hasParameters), m_parameters(o.m_parameters) {}
    KqEasingCurve& operator=(const KqEasingCurve& o) = default;
    int type() const { return m_type; }
    void setType(int type);
    void setCustomFunction(Function f) { m_function = f; }
    bool hasParameters() const { return m_hasParameters; }
    double valueForProgress(double t) const;

private:
    int m_type = -1;
    Function m_function = nullptr;
    bool m_hasParameters = false;
    Parameters m_parameters;
};

class KqAbstractAnimation : public KqObject, public KqRttiObject {
    KQ_DECLARE_CLASS(KqAbstractAnimation)
public:
    enum State { Stopped = 0, Paused = 1, Running = 2 };
    enum Direction { Forward = 0, Backward = 1 };
    enum DeletionPolicy { KeepWhenStopped = 0, DeleteWhenStopped = 1 };

    explicit KqAbstractAnimation(KqObject* parent = nullptr) : KqObject(parent) {}
    ~KqAbstractAnimation() override;

    virtual void updateCurrentTime(int32_t currentTime) = 0;
    virtual void updateState(int newState, int oldState) { (void)newState; (void)oldState; }
    virtual void setTargetItem(KqGraphicsItem* item) { m_targetItem = item; }
    virtual void targetItemRemoved(KqGraphicsItem* item) { (void)item; }

    void setDuration(int32_t ms) { m_duration = ms; }
    int32_t duration() const { return m_duration; }
    int32_t totalDuration() const;
    void setLoopCount(int32_t loops) { m_loopCount = loops; }
    int32_t loopCount() const { return m_loopCount; }
    int32_t currentLoop() const { return m_currentLoop; }
    int state() const { return m_state; }
    int direction() const { return m_direction; }
    void setDirection(int direction) { m_direction = direction; }
    int32_t currentTime() const { return m_currentTime; }
    int32_t totalCurrentTime() const { return m_totalCurrentTime; }
    KqGraphicsItem* targetItem() const { return m_targetItem; }
    bool isRegisteredWithDriver() const { return m_registered; }
    void setRegisteredWithDriver(bool on) { m_registered = on; }

    void start(int policy = KeepWhenStopped);
    void stop() { setState(Stopped); }
    void setState(int state);
    void setCurrentTime(int32_t ms);
    void setTargetObject(KqGraphicsItem* item);
    // Called by the item that drops it.
    void detachedFromItem(KqGraphicsItem* item);

protected:
    int32_t m_duration = 0;

private:
    int m_state = Stopped;
    int m_direction = Forward;
    int32_t m_totalCurrentTime = 0;
    int32_t m_currentTime = 0;
    int32_t m_loopCount = 1;
    int32_t m_currentLoop = 0;
    bool m_deleteWhenStopped = false;
    bool m_registered = false;
    KqGraphicsItem* m_targetItem = nullptr;
};

class KqVariantAnimation : public KqAbstractAnimation {
    KQ_DECLARE_CLASS(KqVariantAnimation)
public:
    struct KeyValue {
        double progress;
        KqVariant value;
        bool operator==(const KeyValue& o) const { return progress == o.progress; }
    };
    typedef KqVariant (*Interpolator)(const KqVariant& from, const KqVariant& to, double progress);

    explicit KqVariantAnimation(KqObject* parent = nullptr) : KqAbstractAnimation(parent) { m_duration = 250; }

    virtual void updateCurrentValue(const KqVariant& value) = 0;
    virtual KqVariant interpolated(const KqVariant& from, const KqVariant& to, double progress) const;
    void updateCurrentTime(int32_t currentTime) override;

    void setStartValue(const KqVariant& value) { setKeyValueAt(0.0, value); }
    void setEndValue(const KqVariant& value) { setKeyValueAt(1.0, value); }
    void setKeyValueAt(double progress, const KqVariant& value);
    int keyValueCount() const { return m_keyValues.count(); }
    void setDefaultStartValue(const KqVariant& value) { m_defaultStartValue = value; }
    void setEasingCurve(const KqEasingCurve& curve) { m_easing = curve; }
    const KqEasingCurve& easingCurve() const { return m_easing; }
    const KqVariant& currentValue() const { return m_currentValue; }

private:
    void recalculateCurrentInterval(bool force);

    KqVariant m_currentValue;
    KqVariant m_defaultStartValue;
    KeyValue m_intervalStart{0, KqVariant()};
    KeyValue m_intervalEnd{0, KqVariant()};
    KqEasingCurve m_easing;
    KqVector<KeyValue> m_keyValues;
    Interpolator m_interpolator = nullptr;
};

class KqPropertyAnimation : public KqVariantAnimation {
    KQ_DECLARE_CLASS(KqPropertyAnimation)
public:
    explicit KqPropertyAnimation(KqObject* parent = nullptr) : KqVariantAnimation(parent) {}
    void setPropertyName(const KqString& name) { m_propertyName = name; }
    const KqString& propertyName() const { return m_propertyName; }
    KqGraphicsItem* target() const;
    void setTargetItem(KqGraphicsItem* item) override;
    void targetItemRemoved(KqGraphicsItem* item) override;
    void updateCurrentValue(const KqVariant& value) override;

private:
    KqWeakPointer m_target;
    KqString m_propertyName;
};

class KqAnimationDriver : public KqObject, public KqTrackable {
public:
    static KqAnimationDriver* instance();
    KqAnimationDriver();
    ~KqAnimationDriver() override;
    void registerAnimation(KqAbstractAnimation* animation);
    void unregisterAnimation(KqAbstractAnimation* animation);
    // Timer work, callable by hand.
    void startPending();
    void advance();
    int runningCount() const { return m_running.count(); }
    int waitingCount() const { return m_waiting.count(); }

private:
    KqTimer* m_tickTimer;
    KqTimer* m_startTimer;
    KqElapsedTimer m_clock;
    int64_t m_lastTick = 0;
    KqVector<KqAbstractAnimation*> m_running;
    KqVector<KqAbstractAnimation*> m_waiting;
    int m_advancing = -1;
};
