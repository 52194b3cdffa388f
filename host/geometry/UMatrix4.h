// SPDX-License-Identifier: MIT
// Affine placement matrix of the host's geometry-types library (row-vector convention: p' = p * M).
#pragma once

template <typename T> class UMatrix4 {
public:
    /// The identity.
    UMatrix4()
    {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                m[r][c] = r == c ? T(1) : T(0);
    }

    T& operator()(int row, int col) { return m[row][col]; }
    const T& operator()(int row, int col) const { return m[row][col]; }

    bool isIdenticalMatrix() const
    {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (m[r][c] != (r == c ? T(1) : T(0))) return false;
        return true;
    }

    static UMatrix4 translation(T x, T y, T z)
    {
        UMatrix4 t;
        t.m[3][0] = x;
        t.m[3][1] = y;
        t.m[3][2] = z;
        return t;
    }

    static UMatrix4 scaling(T x, T y, T z)
    {
        UMatrix4 s;
        s.m[0][0] = x;
        s.m[1][1] = y;
        s.m[2][2] = z;
        return s;
    }

    /// this * o: applying the result applies this first, then o.
    UMatrix4 operator*(const UMatrix4& o) const
    {
        UMatrix4 p;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                T sum = T(0);
                for (int k = 0; k < 4; ++k)
                    sum += m[r][k] * o.m[k][c];
                p.m[r][c] = sum;
            }
        return p;
    }

private:
    T m[4][4];
};
