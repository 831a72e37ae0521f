// 3 x 3 transform that knows its kind (identity, translation, scale,
// rotation, shear, projection) so that mapping takes the cheapest path.
#pragma once

#include "KqGeometry.h"

#include <cstdint>

bool nearZero(double x);
bool nearlyEqual(double a, double b);

class KqTransform {
public:
    enum Type { None = 0, Translate = 1, Scale = 2, Rotate = 4, Shear = 8, Project = 16 };

    KqTransform(); // identity
    KqTransform(double m11, double m12, double m13, double m21, double m22, double m23, double dx, double dy, double m33);
    static KqTransform translation(double dx, double dy);

    void reset();
    void setTranslation(double dx, double dy);
    int classify() const;
    double det() const;
    KqTransform adjugate() const;
    KqTransform inverse(bool* invertible = nullptr) const;
    KqTransform& translate(double tx, double ty);
    KqTransform& scale(double sx, double sy);
    KqTransform& operator*=(const KqTransform& t);
    KqTransform operator*(const KqTransform& t) const;
    KqTransform& operator*=(double x);
    KqTransform& operator/=(double x);

    KqPoint map(const KqPoint& p) const;
    KqPointF map(const KqPointF& p) const;
    KqRectF mapRectF(const KqRectF& r) const;

    double m11() const { return m_m[0]; }
    double m12() const { return m_m[1]; }
    double m21() const { return m_m[2]; }
    double m22() const { return m_m[3]; }
    double dx() const { return m_m[4]; }
    double dy() const { return m_m[5]; }
    double m13() const { return m_m[6]; }
    double m23() const { return m_m[7]; }
    double m33() const { return m_m[8]; }

private:
    int type() const { return static_cast<int>(m_typeWord & 31); }
    int dirty() const { return static_cast<int>((m_typeWord >> 5) & 31); }
    void setType(int type, int dirty) const { m_typeWord = static_cast<uint32_t>(type) | (static_cast<uint32_t>(dirty) << 5); }
    void raiseDirty(int atLeast) const
    {
        if (dirty() < atLeast)
            setType(type(), atLeast);
    }
    void mapXY(double x, double y, double& ox, double& oy, int type) const;

    // m11, m12, m21, m22, dx, dy, m13, m23, m33
    double m_m[9];
    mutable uint32_t m_typeWord;
};
