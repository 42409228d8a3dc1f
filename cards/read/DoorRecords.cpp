// Door-open record reading and decoding.
#include "app/TForm1.h"

// Not built yet: the button exists and does nothing.
void TForm1::BitBtn11Click() {}
