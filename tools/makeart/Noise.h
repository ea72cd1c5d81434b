#pragma once

#include <QRandomGenerator>

#include <cmath>
#include <vector>

// Smooth value noise on a lattice that wraps in both directions, so a texture
// built from it tiles without a seam. Coordinates are in lattice cells.
class PeriodicNoise
{
public:
    PeriodicNoise(quint32 seed, int cellsX, int cellsY)
        : m_cellsX(cellsX)
        , m_cellsY(cellsY)
        , m_values(static_cast<size_t>(cellsX) * static_cast<size_t>(cellsY))
    {
        QRandomGenerator random(seed);
        for (double& v : m_values)
            v = random.generateDouble();
    }

    // Noise in [0, 1] at (u, v); u wraps at cellsX and v at cellsY.
    double at(double u, double v) const
    {
        const double fu = std::floor(u);
        const double fv = std::floor(v);
        const double tu = smooth(u - fu);
        const double tv = smooth(v - fv);
        const int x0 = wrap(static_cast<int>(fu), m_cellsX);
        const int y0 = wrap(static_cast<int>(fv), m_cellsY);
        const int x1 = wrap(x0 + 1, m_cellsX);
        const int y1 = wrap(y0 + 1, m_cellsY);
        const double top = lerp(value(x0, y0), value(x1, y0), tu);
        const double bottom = lerp(value(x0, y1), value(x1, y1), tu);
        return lerp(top, bottom, tv);
    }

    int cellsX() const { return m_cellsX; }
    int cellsY() const { return m_cellsY; }

private:
    static double smooth(double t) { return t * t * (3.0 - 2.0 * t); }
    static double lerp(double a, double b, double t) { return a + (b - a) * t; }
    static int wrap(int i, int n) { return ((i % n) + n) % n; }
    double value(int x, int y) const
    {
        return m_values[static_cast<size_t>(y) * static_cast<size_t>(m_cellsX) + static_cast<size_t>(x)];
    }

    int m_cellsX;
    int m_cellsY;
    std::vector<double> m_values;
};

// Several octaves of periodic noise over a w × h picture; the sum is in [0, 1]
// and wraps at the picture's edges.
class TileNoise
{
public:
    TileNoise(quint32 seed, int width, int height, int cellsX, int cellsY, int octaves)
        : m_width(width)
        , m_height(height)
    {
        for (int i = 0; i < octaves; ++i)
            m_octaves.emplace_back(seed + static_cast<quint32>(i) * 7919u, cellsX << i, cellsY << i);
    }

    double at(double x, double y) const
    {
        double sum = 0;
        double weight = 1;
        double total = 0;
        for (const PeriodicNoise& n : m_octaves) {
            sum += weight * n.at(x / m_width * n.cellsX(), y / m_height * n.cellsY());
            total += weight;
            weight *= 0.5;
        }
        return sum / total;
    }

private:
    int m_width;
    int m_height;
    std::vector<PeriodicNoise> m_octaves;
};
