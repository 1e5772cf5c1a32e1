// The maker's name and web site: the settings key, the About box's copyright line and
// link, and the web-site button all use these.
#pragma once

extern const char kMakerWord[];
// The maker has named no host yet: a name under the reserved .example domain can never
// lead to a stranger's server.
extern const char kHomePageUrl[];
