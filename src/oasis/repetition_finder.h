// Finds the repetition of shapes gathered at a list of positions (in the
// order they came, no two consecutive ones equal): the regular forms where
// the displacements are regular, the arbitrary ones otherwise.
#pragma once

#include <cstddef>
#include <vector>

#include "oasis/encoders.h"

namespace quillon::oasis {

class RepetitionFinder {
public:
    // Describes a head of positions (no empty list) as one position (origin) with a
    // repetition and answers how many positions it covers (at least one):
    //  - all of them when they lie on one line at equal steps (one
    //    position: no repetition);
    //  - rows of equal steps, each row the first one moved by one vector:
    //    a grid (east and north steps) or a lattice (any two vectors);
    //  - a row of at least minimumLine positions at equal steps;
    //  - otherwise all of them up to the first one equal to the one
    //    before, at arbitrary displacements: sorted along x or y when all
    //    lie on one horizontal or vertical line;
    //  - a head of a position equal to the next alone.
    // The repetition's displacements live in the finder until the next
    // call.
    std::size_t find(const std::vector<Delta>& positions, Delta& origin, Repetition& repetition);

    static constexpr std::size_t minimumLine = 4;

private:
    std::vector<Delta> displacements;
    std::vector<Delta> sorted;
};

}  // namespace quillon::oasis
