// Card erase and lost-card notice.
#include "app/TForm1.h"

// Not built yet: the buttons exist and do nothing.
void TForm1::BitBtn5Click() {}
void TForm1::BitBtn10Click() {}
