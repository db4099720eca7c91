#pragma once
// Antialiasing of a graph's line by how dense its visible data are.
//
// With more than two points per pixel of the key axis QCustomPlot thins the
// line to the extremes of each pixel column (adaptive sampling): the line
// becomes a run of near-vertical strokes one pixel apart, which antialiasing
// hardly changes but makes about three times as costly to draw, twenty times
// a second on a live chart. Sparser data keep antialiasing, where slanted
// segments would show steps without it.

class QCPGraph;

namespace GraphDensity {

// True when the graph thins its line: adaptive sampling on and at least
// 2 * (pixel span of the visible data) + 2 points in the visible key range
// (with one point beyond each end), QCustomPlot's own test.
bool isThinned(const QCPGraph* graph);

// Antialiasing off while thinned, on otherwise. Call after the data and the
// key range are set, before the replot.
void antialiasUnlessThinned(QCPGraph* graph);

} // namespace GraphDensity
