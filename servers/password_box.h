// Password boxes of the server dialogs: each typed character shows as "*",
// whatever mask character the widget style would use.
#pragma once

class QLineEdit;

void mask_with_asterisks(QLineEdit* box);
