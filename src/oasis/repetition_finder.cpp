#include "oasis/repetition_finder.h"

#include <algorithm>

namespace quillon::oasis {

namespace {

Delta minus(Delta a, Delta b) { return {a.x - b.x, a.y - b.y}; }

// The displacements from each position to the next of sorted, or false
// when two positions are equal (a reader drops a zero displacement).
bool sortedSteps(std::vector<Delta>& sorted, std::vector<Delta>& steps) {
    steps.clear();
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        const Delta d = minus(sorted[i], sorted[i - 1]);
        if (d.x == 0 && d.y == 0) return false;
        steps.push_back(d);
    }
    return true;
}

}  // namespace

std::size_t RepetitionFinder::find(const std::vector<Delta>& p, Delta& origin,
                                   Repetition& repetition) {
    const std::size_t k = p.size();
    repetition = Repetition{};
    origin = p[0];
    // A position equal to the one before has no repetition form (a reader
    // drops a zero displacement): the head goes alone.
    if (k == 1 || p[1] == p[0]) return 1;

    const Delta step = minus(p[1], p[0]);
    std::size_t run = 2;  // the positions of the first row
    while (run < k && minus(p[run], p[run - 1]) == step) ++run;
    if (run == k) {
        // One line. Axis-parallel steps are written from the far end when
        // negative, since those forms take unsigned spacings.
        repetition.kind = Repetition::line;
        repetition.count = k;
        repetition.step = step;
        if ((step.y == 0 && step.x < 0) || (step.x == 0 && step.y < 0)) {
            origin = p[k - 1];
            repetition.step = {-step.x, -step.y};
        }
        return k;
    }

    // Rows: each the first row moved by rowStep once more.
    const Delta rowStep = minus(p[run], p[0]);
    std::size_t rows = 1;
    while ((rowStep.x != 0 || rowStep.y != 0) && (rows + 1) * run <= k) {
        const std::size_t first = rows * run;
        bool same = true;
        for (std::size_t i = 0; i < run && same; ++i) {
            const Delta expected{p[0].x + static_cast<std::int64_t>(i) * step.x +
                                     static_cast<std::int64_t>(rows) * rowStep.x,
                                 p[0].y + static_cast<std::int64_t>(i) * step.y +
                                     static_cast<std::int64_t>(rows) * rowStep.y};
            same = p[first + i] == expected;
        }
        if (!same) break;
        ++rows;
    }
    if (rows >= 2) {
        repetition.columns = run;
        repetition.rows = rows;
        repetition.count = run * rows;
        repetition.step = step;
        repetition.rowStep = rowStep;
        const bool eastNorth = step.y == 0 && step.x > 0 && rowStep.x == 0 && rowStep.y > 0;
        const bool northEast = step.x == 0 && step.y > 0 && rowStep.y == 0 && rowStep.x > 0;
        if (northEast) {
            std::swap(repetition.columns, repetition.rows);
            std::swap(repetition.step, repetition.rowStep);
        }
        repetition.kind = eastNorth || northEast ? Repetition::grid : Repetition::lattice;
        return run * rows;
    }
    if (run >= minimumLine) {
        repetition.kind = Repetition::line;
        repetition.count = run;
        repetition.step = step;
        return run;
    }

    // Arbitrary displacements up to the next repeated position, sorted
    // along a horizontal or vertical line.
    std::size_t m = 1;
    while (m < k && p[m] != p[m - 1]) ++m;
    const auto end = p.begin() + static_cast<long>(m);
    const bool horizontal =
        std::all_of(p.begin(), end, [&](const Delta& d) { return d.y == p[0].y; });
    const bool vertical =
        std::all_of(p.begin(), end, [&](const Delta& d) { return d.x == p[0].x; });
    repetition.kind = Repetition::arbitrary;
    repetition.count = m;
    if (horizontal || vertical) {
        sorted.assign(p.begin(), end);
        std::sort(sorted.begin(), sorted.end(), [](const Delta& a, const Delta& b) {
            return a.x != b.x ? a.x < b.x : a.y < b.y;
        });
        if (sortedSteps(sorted, displacements)) {
            origin = sorted[0];
            repetition.displacements = displacements.data();
            return m;
        }
    }
    displacements.clear();
    for (std::size_t i = 1; i < m; ++i) displacements.push_back(minus(p[i], p[i - 1]));
    repetition.displacements = displacements.data();
    return m;
}

}  // namespace quillon::oasis
