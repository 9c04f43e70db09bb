// The legacy EPANET 2 toolkit interface: EN... functions with EPANET 2.2's
// names, codes and single-precision values. They all act on one default
// project; code that needs several projects (threads) uses toolkit::Project.
// Every function returns 0 on success, 1-6 for warnings and above 100 for
// errors, as EPANET 2.2 does; no exception ever leaves them.
#pragma once

#include "toolkit/codes.h"

extern "C" {
int ENopen(const char* inpFile, const char* rptFile, const char* outFile);
int ENclose(void);
int ENgetcount(int code, int* count);
int ENgetnodeindex(const char* id, int* index);
int ENgetnodeid(int index, char* id);
int ENgetnodetype(int index, int* nodeType);
int ENgetlinkindex(const char* id, int* index);
int ENgetlinkid(int index, char* id);
int ENgetlinktype(int index, int* linkType);
int ENgetlinknodes(int index, int* node1, int* node2);
int ENgetpatternid(int index, char* id);
int ENgetpatternindex(const char* id, int* index);
int ENgettimeparam(int param, long* value);
int ENgetflowunits(int* units);
int ENgetnodevalue(int index, int property, float* value);
int ENsetnodevalue(int index, int property, float value);
int ENgetlinkvalue(int index, int property, float* value);
int ENsolveH(void);
int ENopenH(void);
int ENinitH(int initFlag);
int ENrunH(long* currentTime);
int ENnextH(long* tStep);
int ENcloseH(void);
int ENgetstatistic(int type, float* value);
int ENgeterror(int errcode, char* errmsg, int maxLen);
}
