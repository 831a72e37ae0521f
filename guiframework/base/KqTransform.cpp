#include "KqTransform.h"

#include <algorithm>
#include <cmath>

namespace {
enum { M11, M12, M21, M22, DX, DY, M13, M23, M33 };
// A point on or behind the projection's horizon is clamped to this w.
const double kMinW = 1e-6;
}

bool nearZero(double x) { return std::fabs(x) <= 1e-12; }

bool nearlyEqual(double a, double b) { return std::fabs(a - b) <= 1e-12 * std::min(std::fabs(a), std::fabs(b)); }

KqTransform::KqTransform() { reset(); }

KqTransform::KqTransform(double m11, double m12, double m13, double m21, double m22, double m23, double dx, double dy, double m33)
    : m_m{m11, m12, m21, m22, dx, dy, m13, m23, m33}
{
    setType(None, Project);
}

KqTransform KqTransform::translation(double dx, double dy)
{
    KqTransform t;
    t.m_m[DX] = dx;
    t.m_m[DY] = dy;
    t.setType(dx != 0 || dy != 0 ? Translate : None, 0);
    return t;
}

void KqTransform::reset()
{
    for (double& v : m_m)
        v = 0;
    m_m[M11] = m_m[M22] = m_m[M33] = 1;
    m_typeWord = 0;
}

void KqTransform::setTranslation(double dx, double dy)
{
    if (m_m[DX] == dx && m_m[DY] == dy)
        return;
    m_m[DX] = dx;
    m_m[DY] = dy;
    if (dirty() == 0)
        setType(type(), Translate);
}

int KqTransform::classify() const
{
    int d = dirty();
    if (d == 0 || d < type())
        return type();
    int t = type();
    switch (d) {
    case Project:
        if (!nearZero(m_m[M13]) || !nearZero(m_m[M23]) || !nearZero(m_m[M33] - 1)) {
            t = Project;
            break;
        }
        // fall through
    case Shear:
    case Rotate:
        if (!nearZero(m_m[M12]) || !nearZero(m_m[M21])) {
            t = nearZero(m_m[M11] * m_m[M12] + m_m[M21] * m_m[M22]) ? Rotate : Shear;
            break;
        }
        // fall through
    case Scale:
        if (!nearZero(m_m[M11] - 1) || !nearZero(m_m[M22] - 1)) {
            t = Scale;
            break;
        }
        // fall through
    case Translate:
        if (!nearZero(m_m[DX]) || !nearZero(m_m[DY])) {
            t = Translate;
            break;
        }
        // fall through
    case None:
        t = None;
        break;
    default:
        break;
    }
    setType(t, 0);
    return t;
}

double KqTransform::det() const
{
    const double* m = m_m;
    return m[M11] * (m[M22] * m[M33] - m[M23] * m[DY]) - m[M21] * (m[M12] * m[M33] - m[M13] * m[DY])
        + m[DX] * (m[M12] * m[M23] - m[M22] * m[M13]);
}

KqTransform KqTransform::adjugate() const
{
    const double* m = m_m;
    double h11 = m[M22] * m[M33] - m[M23] * m[DY];
    double h21 = m[M23] * m[DX] - m[M21] * m[M33];
    double h31 = m[M21] * m[DY] - m[M22] * m[DX];
    double h12 = m[M13] * m[DY] - m[M12] * m[M33];
    double h22 = m[M11] * m[M33] - m[M13] * m[DX];
    double h32 = m[M12] * m[DX] - m[M11] * m[DY];
    double h13 = m[M12] * m[M23] - m[M13] * m[M22];
    double h23 = m[M13] * m[M21] - m[M11] * m[M23];
    double h33 = m[M11] * m[M22] - m[M12] * m[M21];
    return KqTransform(h11, h12, h13, h21, h22, h23, h31, h32, h33);
}

KqTransform KqTransform::inverse(bool* invertible) const
{
    KqTransform r;
    bool ok = true;
    const double* m = m_m;
    switch (classify()) {
    case None:
        break;
    case Translate:
        r.m_m[DX] = -m[DX];
        r.m_m[DY] = -m[DY];
        break;
    case Scale:
        if (nearZero(m[M11]) || nearZero(m[M22])) {
            ok = false;
            break;
        }
        r.m_m[M11] = 1 / m[M11];
        r.m_m[M22] = 1 / m[M22];
        r.m_m[DX] = -m[DX] / m[M11];
        r.m_m[DY] = -m[DY] / m[M22];
        break;
    case Rotate:
    case Shear: {
        double d = m[M11] * m[M22] - m[M12] * m[M21];
        if (d == 0) {
            ok = false;
            break;
        }
        r.m_m[M11] = m[M22] / d;
        r.m_m[M12] = -m[M12] / d;
        r.m_m[M21] = -m[M21] / d;
        r.m_m[M22] = m[M11] / d;
        r.m_m[DX] = (m[M21] * m[DY] - m[DX] * m[M22]) / d;
        r.m_m[DY] = (m[M12] * m[DX] - m[DY] * m[M11]) / d;
        break;
    }
    default: {
        double d = det();
        if (nearZero(d)) {
            ok = false;
            break;
        }
        r = adjugate();
        for (double& v : r.m_m)
            v /= d;
        break;
    }
    }
    if (invertible)
        *invertible = ok;
    if (!ok)
        return KqTransform();
    r.m_typeWord = m_typeWord;
    return r;
}

KqTransform& KqTransform::translate(double tx, double ty)
{
    if (tx == 0 && ty == 0)
        return *this;
    double* m = m_m;
    switch (classify()) {
    case None:
        m[DX] = tx;
        m[DY] = ty;
        break;
    case Translate:
        m[DX] += tx;
        m[DY] += ty;
        break;
    case Scale:
        m[DX] += tx * m[M11];
        m[DY] += ty * m[M22];
        break;
    case Project:
        m[M33] += tx * m[M13] + ty * m[M23];
        // fall through
    default:
        m[DX] += tx * m[M11] + ty * m[M21];
        m[DY] += tx * m[M12] + ty * m[M22];
        break;
    }
    if (dirty() == 0)
        setType(type(), Translate);
    return *this;
}

KqTransform& KqTransform::scale(double sx, double sy)
{
    if (sx == 1 && sy == 1)
        return *this;
    double* m = m_m;
    switch (classify()) {
    case None:
    case Translate:
        m[M11] = sx;
        m[M22] = sy;
        break;
    case Project:
        m[M13] *= sx;
        m[M23] *= sy;
        // fall through
    case Rotate:
    case Shear:
        m[M12] *= sx;
        m[M21] *= sy;
        // fall through
    default:
        m[M11] *= sx;
        m[M22] *= sy;
        break;
    }
    raiseDirty(Scale);
    return *this;
}

KqTransform& KqTransform::operator*=(const KqTransform& t)
{
    int other = t.classify();
    if (other == None)
        return *this;
    int mine = classify();
    if (mine == None) {
        *this = t;
        return *this;
    }
    int kind = std::max(mine, other);
    double* m = m_m;
    const double* o = t.m_m;
    switch (kind) {
    case Translate:
        m[DX] += o[DX];
        m[DY] += o[DY];
        break;
    case Scale:
        m[M11] *= o[M11];
        m[M22] *= o[M22];
        m[DX] = m[DX] * o[M11] + o[DX];
        m[DY] = m[DY] * o[M22] + o[DY];
        break;
    case Rotate:
    case Shear: {
        double m11 = m[M11] * o[M11] + m[M12] * o[M21];
        double m12 = m[M11] * o[M12] + m[M12] * o[M22];
        double m21 = m[M21] * o[M11] + m[M22] * o[M21];
        double m22 = m[M21] * o[M12] + m[M22] * o[M22];
        double dx = m[DX] * o[M11] + m[DY] * o[M21] + o[DX];
        double dy = m[DX] * o[M12] + m[DY] * o[M22] + o[DY];
        m[M11] = m11; m[M12] = m12; m[M21] = m21; m[M22] = m22; m[DX] = dx; m[DY] = dy;
        break;
    }
    default: {
        // Rows (m11 m12 m13), (m21 m22 m23), (dx dy m33).
        const double a[3][3] = {{m[M11], m[M12], m[M13]}, {m[M21], m[M22], m[M23]}, {m[DX], m[DY], m[M33]}};
        const double b[3][3] = {{o[M11], o[M12], o[M13]}, {o[M21], o[M22], o[M23]}, {o[DX], o[DY], o[M33]}};
        double c[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                c[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
        m[M11] = c[0][0]; m[M12] = c[0][1]; m[M13] = c[0][2];
        m[M21] = c[1][0]; m[M22] = c[1][1]; m[M23] = c[1][2];
        m[DX] = c[2][0]; m[DY] = c[2][1]; m[M33] = c[2][2];
        break;
    }
    }
    setType(kind, kind);
    return *this;
}

KqTransform KqTransform::operator*(const KqTransform& t) const
{
    KqTransform r(*this);
    r *= t;
    return r;
}

KqTransform& KqTransform::operator*=(double x)
{
    if (x == 1)
        return *this;
    for (double& v : m_m)
        v *= x;
    raiseDirty(Scale);
    return *this;
}

KqTransform& KqTransform::operator/=(double x)
{
    if (x != 0)
        *this *= 1 / x;
    return *this;
}

void KqTransform::mapXY(double x, double y, double& ox, double& oy, int kind) const
{
    const double* m = m_m;
    switch (kind) {
    case None:
        ox = x;
        oy = y;
        break;
    case Translate:
        ox = x + m[DX];
        oy = y + m[DY];
        break;
    case Scale:
        ox = m[M11] * x + m[DX];
        oy = m[M22] * y + m[DY];
        break;
    default: {
        ox = m[M11] * x + m[M21] * y + m[DX];
        oy = m[M12] * x + m[M22] * y + m[DY];
        if (kind == Project) {
            // On or behind the horizon w would be 0 or negative: clamp it.
            double w = std::max(m[M13] * x + m[M23] * y + m[M33], kMinW);
            ox /= w;
            oy /= w;
        }
        break;
    }
    }
}

KqPointF KqTransform::map(const KqPointF& p) const
{
    KqPointF r;
    mapXY(p.x, p.y, r.x, r.y, classify());
    return r;
}

KqPoint KqTransform::map(const KqPoint& p) const
{
    KqPointF r = map(KqPointF(p.x, p.y));
    return KqPoint(roundHalfUp(r.x), roundHalfUp(r.y));
}

KqRectF KqTransform::mapRectF(const KqRectF& r) const
{
    int kind = classify();
    const double* m = m_m;
    if (kind == None || kind == Translate)
        return KqRectF(r.x + m[DX], r.y + m[DY], r.width, r.height);
    if (kind == Scale) {
        double x = m[M11] * r.x + m[DX], w = m[M11] * r.width;
        double y = m[M22] * r.y + m[DY], h = m[M22] * r.height;
        if (w < 0) { x += w; w = -w; }
        if (h < 0) { y += h; h = -h; }
        return KqRectF(x, y, w, h);
    }
    if (kind == Project
        && m[M33] + std::min(m[M13] * r.x, m[M13] * (r.x + r.width)) + std::min(m[M23] * r.y, m[M23] * (r.y + r.height)) < kMinW)
        return KqRectF();
    const double xs[4] = {r.x, r.x + r.width, r.x, r.x + r.width};
    const double ys[4] = {r.y, r.y, r.y + r.height, r.y + r.height};
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
        double x, y;
        mapXY(xs[i], ys[i], x, y, kind);
        if (i == 0 || x < minX) minX = x;
        if (i == 0 || x > maxX) maxX = x;
        if (i == 0 || y < minY) minY = y;
        if (i == 0 || y > maxY) maxY = y;
    }
    return KqRectF(minX, minY, maxX - minX, maxY - minY);
}
