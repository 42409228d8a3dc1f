// Card type and guest-field decoding.
#include "app/TForm1.h"

// Not built yet: the buttons exist and do nothing.
void TForm1::BitBtn7Click() {}
void TForm1::BitBtn8Click() {}
void TForm1::BitBtn9Click() {}
