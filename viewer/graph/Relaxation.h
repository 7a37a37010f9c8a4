// One step of the animated relaxation, a spring embedder: links pull their
// ends towards their preferred length, nodes closer than 100 pixels push each
// other apart, marked nodes stay put. The window's 100 ms timer calls it once
// per tick (and owns the busy pointer, the repaint and the timer restart).
#pragma once

#include "viewer/graph/ProgramRandom.h"

class SiteGraph;

// All forces are summed into the nodes' velocities first, then every node
// moves at most 5 pixels per axis, stays within [0, 5000] and keeps half its
// velocity for the next step.
void RelaxationStep(SiteGraph& graph, RandomGenerator& random = ProgramRandom());
