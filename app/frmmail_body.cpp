#include "frmmail.h"

#include "appcontext.h"

// New, open, save, attachments and printing of the message.
void frmMail::mnuFileNew_Click() {}
void frmMail::mnuFileOpen_Click() {}
void frmMail::mnuFileSave_Click() {}
void frmMail::mnuFileSaveAs_Click() {}
void frmMail::mnuFilePrint_Click() {}
void frmMail::mnuFilePageSetup_Click() {}
void frmMail::mnuBodyRefresh_Click() {}
void frmMail::mnuTempOpen_Click() {}
void frmMail::mnuTempkKill_Click() {}

void frmMail::mnuSine_Click()
{
    // The signature is edited in the account dialog.
    if (context().openAccountDialog)
        context().openAccountDialog(this);
}
