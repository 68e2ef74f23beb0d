// Shows one skinned warning from the program folder's default skin and prints
// its result, so the end-to-end harness can check the toolkit on a real
// accessibility bus. Usage: e2e_warning_probe PROGRAM_FOLDER MESSAGE
#include "skin/PopupDlgs.h"
#include "skin/PrivateFonts.h"
#include "skin/SkinDocuments.h"

#include <QApplication>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fputs("usage: e2e_warning_probe PROGRAM_FOLDER MESSAGE\n", stderr);
        return 64;
    }
    std::string folder = argv[1];
    if (folder.back() != '/') folder += '/';
    int fonts[3] = {skin::kNoFont, skin::kNoFont, skin::kNoFont};
    skin::LoadPrivateFont(skin::kFontCondensedMedium, fonts[0]);
    skin::LoadPrivateFont(skin::kFontCondensedBook, fonts[1]);
    skin::LoadPrivateFont(skin::kFontNotoSans, fonts[2]);
    skin::setSkinProgramFolder(folder);
    skin::LoadSkinDocuments(folder, "1920x1080/");
    int result = 0;
    {
        skin::CWarnDlg warning;
        warning.SetMessage(argv[2]);
        result = warning.exec();
    }
    std::printf("result %d\n", result);
    std::fflush(stdout);
    for (int& font : fonts) skin::RemovePrivateFont(font);
    return 0;
}
