#include "frmmail.h"

// The send command.
void frmMail::Command1_Click()
{
}
