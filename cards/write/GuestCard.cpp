// Guest card issue.
#include "app/TForm1.h"

// Not built yet: the buttons exist and do nothing.
void TForm1::Button2Click() {}
void TForm1::BitBtn2Click() {}
