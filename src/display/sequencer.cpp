#include "display/sequencer.h"

namespace velane {

// NOT YET BUILT: the slide sequencer.
void SequencerTick(Program&, SequencerState&) {}

}  // namespace velane
