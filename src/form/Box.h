// What a message box of the main window is, free of any toolkit: its kind (icon and caption),
// its buttons and the answer.
#pragma once

namespace quellmark {

enum class BoxKind { Error, Information, Confirmation, Warning };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No, Closed };

}  // namespace quellmark
