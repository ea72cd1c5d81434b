#pragma once

// Qt's own texts (file dialogs, standard buttons) in Simplified Chinese: Qt's translation,
// and below it the few texts that translation lacks. Run once the application object exists.
namespace QtChinese {
void install();
}
