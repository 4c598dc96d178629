#pragma once
// A rectangle of grid cells in grid numbering (row 0 is the header row), inclusive.

struct GridSelection
{
    int left = -1;
    int top = -1;
    int right = -1;
    int bottom = -1;

    // No cell is selected: any edge is -1 or the rectangle is inverted.
    bool isEmpty() const { return left < 0 || top < 0 || right < left || bottom < top; }

    friend bool operator==(const GridSelection&, const GridSelection&) = default;
};
