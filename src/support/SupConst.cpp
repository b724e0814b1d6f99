#include "support/SupConst.h"

#include "support/Cursors.h"

std::string LoadStr(int ident)
{
    switch (ident) {
    case SDetails: return "Details";
    case SLoadLibError: return "Could not load '%s' library";
    case SIconNotExecutable:
        return "File specified is not an executable file, dynamic-link library, or icon file";
    case SNotImplemented: return "Function not yet implemented";
    case SPrevMonth: return "Previous Month|";
    case SPrevYear: return "Previous Year|";
    case SNextMonth: return "Next Month|";
    case SNextYear: return "Next Year|";
    case SDateDlgTitle: return "Select a Date";
    case SDefaultFilter: return "All files (*.*)|*.*";
    case SBrowse: return "Browse";
    default: return std::string();
    }
}

void InitSupConst()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    RegisterCursorResource("SUP_HANDCUR", MakeHandCursor);
    RegisterCursorResource("SUP_DRAGCUR", MakeDragHandCursor);
    QCursor c;
    if (LoadCursorResource("SUP_HANDCUR", c))
        Screen::SetCursors(crHand, c);
    if (LoadCursorResource("SUP_DRAGCUR", c))
        Screen::SetCursors(crDragHand, c);
}
