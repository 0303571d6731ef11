// Included after each expansion of setting_rows.h: forgets the row macros, so that the next
// expansion defines them afresh. No include guard on purpose.
#undef QM_BOOL
#undef QM_BOX
#undef QM_INT
#undef QM_EDIT
#undef QM_FLOAT
#undef QM_TEXT
#undef QM_BUTTON
#undef QM_STRING
