#include "link/userdialogs.h"

#include "resources/texttable.h"

void showWarning(UserDialogs& dialogs, TextId id)
{
    dialogs.showMessage(text(id), MessageStyle::Warning);
}
