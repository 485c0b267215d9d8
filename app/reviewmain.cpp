// calculus-study-review: the study window walking a student's own weak
// questions, as the master file holds them, instead of an assignment.
#include "app/commandline.h"
#include "app/runwindow.h"
#include "bank/compiledcourse.h"
#include "review/reviewwalk.h"

int main(int argc, char *argv[])
{
    if (answerCommandLine(argc, argv, Program::Review))
        return 0;
    ReviewWalk walk(QStringList{QString()} + compiledCourseEntries());
    return runWindow(argc, argv, "calculus-study-review", &walk);
}
