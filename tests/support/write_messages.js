// Writes page objects and forms as a page writes them (WrittenMessages.h). Each line of standard
// input is one batch: {"objects": [value, …], "forms": [[[name, value], …], …]}; each answer is one
// line: every object by JSON.stringify with and without an indent of 2, every form by
// URLSearchParams once and inside another form's field, with each pair as it is written there.
'use strict';

const readline = require('readline');

const once = (pairs) => new URLSearchParams(pairs).toString();
// The value of another form's field as that form writes it.
const asField = (text) => once([['x', text]]).slice(2);

readline.createInterface({input: process.stdin}).on('line', (line) => {
    const batch = JSON.parse(line);
    const objects = batch.objects.map((value) => [JSON.stringify(value), JSON.stringify(value, null, 2)]);
    const forms = batch.forms.map((pairs) => {
        const written = pairs.map((pair) => once([pair]));
        return {
            once: once(pairs),
            twice: once([['data', once(pairs)], ['from', 'page']]),
            pairs: written.map((pair) => [pair, asField(pair)]),
        };
    });
    process.stdout.write(JSON.stringify({objects, forms}) + '\n');
});
