#include "midi/midi_out.h"
