// Card data display and the hotel identifier taken from a card.
#include "app/TForm1.h"

// Not built yet: the buttons exist and do nothing.
void TForm1::BitBtn3Click() {}
void TForm1::Button3Click() {}
