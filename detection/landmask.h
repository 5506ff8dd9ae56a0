// A coarse world land mask, a quarter degree a cell, built into the program.
#pragma once

#include <cstddef>
#include <vector>

class LandMask
{
public:
    // The mask shared by every caller; empty (isNull) if the resource is missing.
    static const LandMask &world();

    bool isNull() const { return m_cells.empty(); }
    // Land at this longitude (any value, wrapped) and latitude (clamped to ±90).
    bool land(double lon, double lat) const;

    static constexpr int kColumns = 1440;
    static constexpr int kRows = 720;
    static constexpr double kCellsPerDegree = 4.0;
    // The cell of a longitude or latitude, for callers that look up many
    // points on one row or column.
    static int column(double lon);
    static int row(double lat);
    bool cell(int column, int row) const
    {
        return m_cells[size_t(row) * kColumns + size_t(column)] != 0;
    }

private:
    LandMask();
    std::vector<unsigned char> m_cells;
};
